// The JSON value: objects keep insertion order, numbers keep their kind
// (unsigned 64-bit, negative signed 64-bit, binary64).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/boxed.hpp"

namespace zelq::json {

enum class Type : std::uint8_t { Null, Bool, UInt, Int, Float, String, Array, Object, Unread };

// Elements of an array, or members of an object, that a reading left out:
// read for their form and kept as their text, never built. Only a reading
// told to leave parts out (a Prune) makes one, so no JSON text reads as one;
// it stands in an array for `count` elements and in an object for `count`
// members, in the place of the first of them.
struct Unread {
  std::size_t count = 0;
  std::string text;  // an array's text holding the elements, an object's holding the members
  bool operator==(const Unread&) const = default;
};

class Value;
struct Member;
using Array = std::vector<Value>;

// Insertion-ordered map with unique keys. A repeated insert keeps the key's
// first position and takes the new value.
class Object {
 public:
  // Declared here and defined below Member, so that nothing instantiates the
  // member vector's functions while Member is still incomplete.
  Object();
  Object(const Object&);
  Object(Object&&) noexcept;
  Object& operator=(const Object&);
  Object& operator=(Object&&) noexcept;
  ~Object();

  std::size_t size() const;
  bool empty() const;
  const std::vector<Member>& members() const { return members_; }
  std::vector<Member>::const_iterator begin() const;
  std::vector<Member>::const_iterator end() const;

  const Value* find(std::string_view key) const;
  Value* find(std::string_view key);

  // Returns true when the key was new.
  bool insert(std::string key, Value value);
  // Order-keeping removal; returns true when the key was present.
  bool remove(std::string_view key);
  void reserve(std::size_t n);
  // Replaces the contents with `members`, taken over where they stand (no
  // second copy of a large object), a repeated key keeping its first
  // position and its last value.
  void adopt(std::vector<Member> members);

 private:
  std::size_t lookup(std::string_view key) const;  // npos when absent
  void rebuild_index();
  void index_insert(std::size_t position);
  std::vector<Member> members_;
  // Open-addressed table of member positions + 1 (0 = empty), hashed with a
  // key drawn at random once per process, so that no one can choose keys
  // that collide; only built once an object grows past a handful of
  // members. index_[0] holds the slot mask, the slots follow. One pointer
  // keeps a small object small.
  std::unique_ptr<std::uint32_t[]> index_;
};

class Value {
 public:
  Value() = default;
  Value(std::nullptr_t) {}
  explicit Value(bool b) : v_(b) {}
  explicit Value(std::string s) : v_(std::move(s)) {}
  explicit Value(const char* s) : v_(std::string(s)) {}
  explicit Value(Array a) : v_(std::move(a)) {}
  explicit Value(Object o);
  static Value from_u64(std::uint64_t u) { Value v; v.v_ = u; return v; }
  // Non-negative values are held as unsigned, as the reader does.
  static Value from_i64(std::int64_t i) {
    Value v;
    if (i >= 0) v.v_ = static_cast<std::uint64_t>(i); else v.v_ = Neg{i};
    return v;
  }
  static Value from_double(double d) { Value v; v.v_ = d; return v; }
  static Value unread(std::size_t count, std::string text) {
    Value v;
    Boxed<Unread> box;
    box = Unread{count, std::move(text)};
    v.v_ = std::move(box);
    return v;
  }

  Type type() const { return static_cast<Type>(v_.index()); }
  bool is_null() const { return type() == Type::Null; }
  bool is_bool() const { return type() == Type::Bool; }
  bool is_string() const { return type() == Type::String; }
  bool is_array() const { return type() == Type::Array; }
  bool is_object() const { return type() == Type::Object; }
  bool is_unread() const { return type() == Type::Unread; }

  bool as_bool() const { return std::get<bool>(v_); }
  std::uint64_t as_u64() const { return std::get<std::uint64_t>(v_); }
  std::int64_t as_i64() const { return std::get<Neg>(v_).v; }
  double as_double() const { return std::get<double>(v_); }
  const std::string& as_string() const { return std::get<std::string>(v_); }
  std::string& as_string() { return std::get<std::string>(v_); }
  const Array& as_array() const { return std::get<Array>(v_); }
  Array& as_array() { return std::get<Array>(v_); }
  const Object& as_object() const { return std::get<Object>(v_); }
  Object& as_object() { return std::get<Object>(v_); }
  const Unread& as_unread() const { return *std::get<Boxed<Unread>>(v_); }

  // Convenience lookups; nullptr unless this is an object holding the key.
  const Value* get(std::string_view key) const;

  friend bool operator==(const Value& a, const Value& b);

 private:
  struct Neg {
    std::int64_t v;
    friend bool operator==(Neg a, Neg b) { return a.v == b.v; }
  };
  std::variant<std::nullptr_t, bool, std::uint64_t, Neg, double, std::string, Array, Object, Boxed<Unread>> v_{
      nullptr};
};

struct Member {
  std::string key;
  Value value;
};

// Defined here, where Member is complete: a vector's members may only be
// used once its element type is.
inline Object::Object() = default;
inline Object::Object(const Object& o) : members_(o.members_) { rebuild_index(); }
inline Object::Object(Object&&) noexcept = default;
inline Object& Object::operator=(const Object& o) {
  if (this != &o) {
    members_ = o.members_;
    rebuild_index();
  }
  return *this;
}
inline Object& Object::operator=(Object&&) noexcept = default;
inline Object::~Object() = default;
inline std::size_t Object::size() const { return members_.size(); }
inline bool Object::empty() const { return members_.empty(); }
inline Value::Value(Object o) : v_(std::move(o)) {}

bool operator==(const Object& a, const Object& b);

// The index's keyed hash under a given key, for tests against published
// vectors.
std::uint64_t keyed_hash_for_tests(std::string_view s, std::uint64_t k0, std::uint64_t k1);

}  // namespace zelq::json
