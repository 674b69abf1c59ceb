// Reading records (structs with named members) from JSON, on two roads:
// from text through a Reader, with the reader's positions attached to every
// failure, and from an already parsed Value, without positions. A record is a
// table of members; one generic routine reads any record on either road.
//
// The text road reads in document order and judges each member as it is
// read: the first failure in the text is the one reported, at its position,
// and a member's own check runs before the rest of the object is looked at.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <type_traits>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "core/boxed.hpp"
#include "core/json/canonical.hpp"
#include "core/json/value.hpp"
#include "core/json/reader.hpp"
#include "core/json/writer.hpp"
#include "core/sha256.hpp"
#include "core/timestamp.hpp"

namespace zelq::json {

// ---- writing as text ----------------------------------------------------------
enum class Form : std::uint8_t { Compact, Canonical };

// The text of a record being written. Given a hash, it hands what it holds
// to the hash at each boundary once a block has gathered, so that a long
// list is never held whole, as text or as a value.
class TextSink {
 public:
  explicit TextSink(Sha256* hash = nullptr) : hash_(hash) {}
  std::string& text() { return text_; }
  // A point where the text so far may leave.
  void boundary() {
    if (hash_ && text_.size() >= kBlock) {
      hash_->update(text_);
      text_.clear();
    }
  }
  std::string take() && { return std::move(text_); }
  // With a hash: the digest of everything written.
  Digest32 finish() {
    hash_->update(text_);
    text_.clear();
    return hash_->finish();
  }

 private:
  static constexpr std::size_t kBlock = std::size_t{1} << 16;
  Sha256* hash_;
  std::string text_;
};

// One value; the canonical form fails only past its depth limit.
inline ZResult<void> write_value_text(const Value& v, Form form, std::string& out, unsigned depth) {
  if (form == Form::Canonical) return write_canonical_value(v, out, depth);
  write_compact(v, out);
  return {};
}

enum class Presence : std::uint8_t {
  Required,   // absent: "missing field"; short array: "invalid length"
  Optional,   // absent from an object: left empty; short array: "invalid length"
  Defaulted,  // absent from an object or a short array: left at its default
};

enum class Unknown : std::uint8_t {
  Deny,     // "unknown field `x`, expected ..."
  Ignore,   // skipped (still well-formed on the text road)
  Collect,  // kept in the record's extensions map, in arrival order
};

template <class T>
struct Field {
  const char* name;
  Presence presence;
  PResult<void> (*text)(Reader&, T&);
  PResult<void> (*value)(const Value&, T&);  // nullptr: the record is read from text only
  // Inserts the member into the object being written; nullptr: not written.
  void (*write)(const T&, const char* name, Object& out) = nullptr;
  // Writes the member's value as text; false, with nothing written, when
  // it is absent. nullptr: not written.
  ZResult<bool> (*emit)(const T&, Form, TextSink&) = nullptr;
  // What the value road reads of the member's value, for an argument read
  // for the record (see Prune); nullptr: all of it.
  const Prune* (*prune)() = nullptr;
};

// ---- members kept as text -----------------------------------------------------
// The members of an object as read: each key and the text of its value (a
// view into the text being read, which must outlive this), in arrival order;
// a key may come again. Lets a reader judge members before, or instead of,
// building their values.
class MemberTexts {
 public:
  void add(std::string_view key, std::string_view value);
  bool empty() const { return entries_.empty(); }
  std::string_view key(std::size_t i) const { return std::string_view(keys_).substr(entries_[i].key_at, entries_[i].key_len); }
  std::string_view value(std::size_t i) const { return entries_[i].value; }
  // The place of each distinct key's last occurrence, in no set order.
  std::vector<std::size_t> last_of_each() const;
  // The object they make: each key at its first place, with its last value.
  Object to_object() const;
  // The same with only the members named in `names`, each read with
  // `prune`.
  Object only(std::span<const std::string_view> names, const Prune* prune) const;

 private:
  Object subset(std::span<const std::string_view> names, bool all, const Prune* prune) const;
  struct Entry {
    std::size_t key_at, key_len;
    std::string_view value;
  };
  std::string keys_;  // decoded keys, one after another
  // In blocks, which stay where they are as it grows: a vector that doubles
  // would hold up to twice as many while it moves them.
  std::deque<Entry> entries_;
};

// One value at the cursor, read exactly as parse_value reads it, failures
// included, without building it: its text.
PResult<std::string_view> read_value_text(Reader& r);

// The object at the cursor (its "{" not yet consumed), read with the grammar
// and depth limit of parse_value, failing where it fails. After each key and
// its colon, `member(key)` reads the member's value; the key's view lasts
// only until the next string is read.
template <class F>
PResult<void> read_object_members(Reader& r, F member) {
  ZELQ_TRY(r.enter());
  r.eat();
  MapCursor map(r);
  auto read = map.each([&](std::string_view key, bool) -> PResult<void> {
    ZELQ_TRY(map.colon());
    return member(key);
  });
  if (!read) return fail(std::move(read).error());
  r.eat();
  r.leave();
  return {};
}

// The object at the cursor (its "{" not yet consumed), read without building
// it: its members as texts.
PResult<MemberTexts> read_member_texts(Reader& r);

// Whether two values are equal as JSON: arrays element by element, objects
// by their members whatever their order, scalars of one kind by value
// (1 and 1.0 differ). Parts a reading left out are compared as they were
// read, from their texts, without building either side.
bool same_value(const Value& a, const Value& b);
bool same_members(const Object& a, const Object& b);

template <class T>
struct Record {
  const char* name;  // "Signature" gives "struct Signature"
  std::span<const Field<T>> fields;
  Unknown unknown;
  bool positional;  // also read from an array, members in declaration order
  Object T::*extensions = nullptr;
  // With Collect: the unknown members are gathered as texts and handed over
  // here once the object has closed, in place of being stored as values.
  void (*settle)(MemberTexts&&, T&) = nullptr;
};

// What the value road reads of a value for `rec`: the members it names,
// each with its field's own Prune; the others only by their key, unless the
// record keeps them.
template <class T>
Prune make_prune(const Record<T>& rec) {
  Prune p;
  for (const Field<T>& f : rec.fields) {
    p.names.emplace_back(f.name);
    p.nested.push_back(f.prune ? f.prune() : nullptr);
  }
  p.positional = rec.positional;
  p.unnamed = rec.unknown == Unknown::Collect ? Unnamed::Build
              : rec.unknown == Unknown::Deny  ? Unnamed::Refuse
                                              : Unnamed::Drop;
  return p;
}

template <class T, const Record<T>& R>
const Prune* prune_of() {
  static const Prune p = make_prune(R);
  return &p;
}

// A member read as a string, a number or a time: of a container in its
// place the reading sees only the kind ("sequence", "map"), so its members
// and elements are kept as text.
inline const Prune* scalar_prune() {
  static const Prune p{{}, {}, false, Unnamed::Refuse};
  return &p;
}

// A member that a reader only tells apart from the scalar it wants: a
// container in its place is read for its form and kept empty.
inline const Prune* kind_prune() {
  static const Prune p{{}, {}, false, Unnamed::Drop};
  return &p;
}

// A free-form object of which a reader looks only at the members `names`,
// each for its kind and value: no other member is kept.
template <std::size_t N>
Prune scalar_members_prune(const std::array<std::string_view, N>& names) {
  Prune p;
  for (std::string_view n : names) {
    p.names.push_back(n);
    p.nested.push_back(kind_prune());
  }
  p.unnamed = Unnamed::Drop;
  return p;
}

// A list of strings, read again an element at a time by its record.
inline const Prune* string_list_prune() {
  static const Prune p{{}, {}, false, Unnamed::Refuse, scalar_prune(), true};
  return &p;
}

// A list each of whose elements is read with `Each`, an element at a time by
// its record.
template <const Prune* (*Each)()>
const Prune* list_prune() {
  static const Prune p{{}, {}, false, Unnamed::Refuse, Each(), true};
  return &p;
}

// ---- errors -----------------------------------------------------------------
ParseError missing_field(std::string_view name);
ParseError duplicate_field(std::string_view name);
ParseError unknown_field(std::string_view name, std::span<const char* const> expected);
ParseError unknown_variant(std::string_view name, std::span<const char* const> expected);
ParseError invalid_type(const Value& found, std::string_view expected);
ParseError invalid_value(const Value& found, std::string_view expected);
ParseError invalid_length(std::size_t n, std::string_view expected);
ParseError untagged_mismatch(std::string_view enum_name);
// "one of `a`, `b`", "`a` or `b`", "`a`", "there are no fields"
std::string one_of(std::span<const char* const> names, bool variants);

// ---- text-road primitives ---------------------------------------------------
// The invalid-type failure for the value at the cursor (scalars are consumed
// first, so the position is after them; containers are not).
ParseError peek_invalid_type(Reader& r, std::string_view expected);
// A JSON string, else invalid type naming "a string".
PResult<std::string> read_string(Reader& r);
// The same as a view: into the text when the string holds no escape
// (`escaped` false), else into the reader's buffer, valid until the next
// string is read.
PResult<std::string_view> read_string_view(Reader& r, bool& escaped);
// null gives nothing, else a string.
PResult<std::optional<std::string>> read_opt_string(Reader& r);
// null gives nothing, else any value stored whole.
PResult<std::optional<Value>> read_opt_value(Reader& r);
// Any value, read as read_opt_value reads it, failures included, and then
// dropped: for a member a reading must judge but never looks at.
PResult<std::optional<Value>> read_opt_value_unkept(Reader& r);
// An unsigned integer within 0..=max; `expected` names the type ("u32").
PResult<std::uint64_t> read_unsigned(Reader& r, std::uint64_t max, std::string_view expected);
inline PResult<std::uint32_t> read_u32(Reader& r) {
  auto n = read_unsigned(r, UINT32_MAX, "u32");
  if (!n) return fail(std::move(n).error());
  return static_cast<std::uint32_t>(*n);
}
inline PResult<std::uint64_t> read_u64(Reader& r) { return read_unsigned(r, UINT64_MAX, "u64"); }
// After reading an object's members: the reader's closing step, whose only
// lasting effect on failure is the position it leaves.
PResult<void> end_map(Reader& r);
PResult<void> end_seq(Reader& r);

// ---- value-road primitives --------------------------------------------------
PResult<std::string> string_of(const Value& v);
PResult<std::optional<std::string>> opt_string_of(const Value& v);
// A JSON integer 0..2^64-1 ("u64"); a negative integer is an invalid value,
// 1.0 and every other kind an invalid type.
PResult<std::uint64_t> u64_of(const Value& v);
// A JSON string holding an RFC 3339 date-time, as the UTC instant; the
// date-time reader's message when it does not read.
PResult<UtcTime> utc_time_of(const Value& v);
// The same, for members whose non-string values are reported as expecting
// "an RFC 3339 formatted date and time string".
PResult<UtcTime> date_time_of(const Value& v);
// The canonical millisecond text of an instant as a string value, the
// writer of time members that are written in that form.
Value rfc3339_millis_value(const UtcTime& t);
// A copy of `v` in which every string that is an RFC 3339 date-time with a
// sub-millisecond part is replaced by its canonical text in UTC (truncated);
// every other string, every key and every other value stays as it was.
Value truncate_timestamps_ms(const Value& v);

// ---- lists ------------------------------------------------------------------
// The array at the cursor, each element read by `elem(r)`, which must
// consume it.
template <class F>
PResult<void> for_each_in_seq(Reader& r, F elem) {
  int c = r.peek_ws();
  if (c < 0) return fail(r.peek_error("EOF while parsing a value"));
  if (c != '[') return fail(peek_invalid_type(r, "a sequence"));
  if (auto e = r.enter(); !e) return fail(std::move(e).error());
  r.eat();
  PResult<void> status;
  SeqCursor seq(r);
  for (;;) {
    auto more = seq.next();
    if (!more) { status = fail(std::move(more).error()); break; }
    if (!*more) break;
    status = elem(r);
    if (!status) break;
  }
  r.leave();
  auto closed = end_seq(r);
  if (!status) return fail(r.fix(std::move(status).error()));
  if (!closed) return fail(std::move(closed).error());
  return {};
}

// The array at the cursor into `out` (anything with push_back), each
// element read by `elem`.
template <class L, class E>
PResult<void> read_into(Reader& r, PResult<E> (*elem)(Reader&), L& out) {
  return for_each_in_seq(r, [&](Reader& at) -> PResult<void> {
    auto v = elem(at);
    if (!v) return fail(std::move(v).error());
    out.push_back(std::move(*v));
    return {};
  });
}

// The array at the cursor as a list; `expected`: room made up front, for
// lists whose length the caller can bound from the text.
template <class E>
PResult<std::vector<E>> read_seq(Reader& r, PResult<E> (*elem)(Reader&), std::size_t expected = 0) {
  std::vector<E> out;
  out.reserve(expected);
  ZELQ_TRY(read_into(r, elem, out));
  return out;
}

// The whole text as one array, element by element; nothing but white space
// may follow it.
template <class E>
PResult<std::vector<E>> parse_seq(std::string_view text, PResult<E> (*elem)(Reader&)) {
  Reader r(text);
  auto out = read_seq(r, elem);
  if (!out) return out;
  ZELQ_TRY(r.end());
  return out;
}

inline PResult<std::vector<std::string>> read_string_list(Reader& r) { return read_seq<std::string>(r, read_string); }

// null gives nothing, else the value read by `Read`.
template <auto Read>
auto read_or_null(Reader& r) -> PResult<std::optional<typename std::remove_cvref_t<decltype(*Read(r))>>> {
  using E = std::remove_cvref_t<decltype(*Read(r))>;
  if (r.peek_ws() == 'n') {
    auto v = r.parse_value();  // "null", or the reader's failure on a bad ident
    if (!v) return fail(std::move(v).error());
    return std::optional<E>();
  }
  auto v = Read(r);
  if (!v) return fail(std::move(v).error());
  return std::optional<E>(std::move(*v));
}

// Each element of an array as read, in order, handed to `f` (which returns
// PResult<bool>: false stops the walk). Elements that a Prune left out are
// read again from their text one at a time, with `each`: a list kept as
// text is never built whole.
template <class F>
PResult<void> for_each_element(const Array& a, const Prune* each, F f) {
  for (const Value& e : a) {
    if (!e.is_unread()) {
      auto more = f(e);
      if (!more) return fail(std::move(more).error());
      if (!*more) return {};
      continue;
    }
    Reader r(e.as_unread().text);
    r.eat();  // the "[" of a text this reader wrote
    SeqCursor seq(r);
    for (;;) {
      auto next = seq.next();
      if (!next) return fail(std::move(next).error());
      if (!*next) break;
      auto x = r.parse_value(each);
      if (!x) return fail(std::move(x).error());
      auto more = f(*x);
      if (!more) return fail(std::move(more).error());
      if (!*more) return {};
    }
  }
  return {};
}

template <class E>
PResult<std::vector<E>> seq_of(const Value& v, PResult<E> (*elem)(const Value&), const Prune* each = nullptr) {
  if (!v.is_array()) return fail(invalid_type(v, "a sequence"));
  std::vector<E> out;
  out.reserve(v.as_array().size());
  auto read = for_each_element(v.as_array(), each, [&](const Value& e) -> PResult<bool> {
    auto x = elem(e);
    if (!x) return fail(std::move(x).error());
    out.push_back(std::move(*x));
    return true;
  });
  if (!read) return fail(std::move(read).error());
  return out;
}

// ---- records ----------------------------------------------------------------
namespace detail {

template <class T>
const Field<T>* find_field(const Record<T>& rec, std::string_view name, std::size_t& index) {
  for (std::size_t i = 0; i < rec.fields.size(); ++i) {
    if (name == rec.fields[i].name) {
      index = i;
      return &rec.fields[i];
    }
  }
  return nullptr;
}

template <class T>
std::vector<const char*> field_names(const Record<T>& rec) {
  std::vector<const char*> names;
  for (const auto& f : rec.fields) names.push_back(f.name);
  return names;
}

template <class T>
PResult<void> check_missing(const Record<T>& rec, const std::vector<bool>& seen) {
  for (std::size_t i = 0; i < rec.fields.size(); ++i)
    if (!seen[i] && rec.fields[i].presence == Presence::Required) return fail(missing_field(rec.fields[i].name));
  return {};
}

template <class T>
std::string with_elements(const Record<T>& rec) {
  return "struct " + std::string(rec.name) + " with " + std::to_string(rec.fields.size()) + " elements";
}

template <class T>
PResult<void> visit_map(Reader& r, const Record<T>& rec, T& out, MemberTexts* texts) {
  std::vector<bool> seen(rec.fields.size(), false);
  MapCursor map(r);
  auto read = map.each([&](std::string_view key, bool) -> PResult<void> {
    std::size_t idx = 0;
    const Field<T>* f = find_field(rec, key, idx);
    if (f && seen[idx]) return fail(duplicate_field(f->name));
    if (!f && rec.unknown == Unknown::Deny) {
      auto names = field_names(rec);
      return fail(unknown_field(key, names));
    }
    // The key's view lasts only until the next string is read.
    std::string collected_key = !f && rec.unknown == Unknown::Collect ? std::string(key) : std::string();
    ZELQ_TRY(map.colon());
    if (f) {
      seen[idx] = true;
      return f->text(r, out);
    }
    if (rec.unknown == Unknown::Collect && texts) {
      auto v = read_value_text(r);
      if (!v) return fail(std::move(v).error());
      texts->add(collected_key, *v);
      return {};
    }
    if (rec.unknown == Unknown::Collect) {
      auto v = r.parse_value();
      if (!v) return fail(std::move(v).error());
      (out.*(rec.extensions)).insert(std::move(collected_key), std::move(*v));
      return {};
    }
    return r.skip_value();
  });
  if (!read) return fail(std::move(read).error());
  return check_missing(rec, seen);
}

template <class T>
PResult<void> visit_seq(Reader& r, const Record<T>& rec, T& out) {
  SeqCursor seq(r);
  bool ended = false;
  for (std::size_t i = 0; i < rec.fields.size(); ++i) {
    const Field<T>& f = rec.fields[i];
    if (!ended) {
      auto more = seq.next();
      if (!more) return fail(std::move(more).error());
      ended = !*more;
    }
    if (ended) {
      if (f.presence == Presence::Defaulted) continue;
      return fail(invalid_length(i, with_elements(rec)));
    }
    ZELQ_TRY(f.text(r, out));
  }
  return {};
}

}  // namespace detail

template <class T>
PResult<T> read_record(Reader& r, const Record<T>& rec) {
  int c = r.peek_ws();
  if (c < 0) return fail(r.peek_error("EOF while parsing a value"));
  T out{};
  std::optional<MemberTexts> texts;  // only for a record that settles its unknown members
  if (rec.settle) texts.emplace();
  PResult<void> status;
  if ((c == '[' && rec.positional) || c == '{') {
    if (auto e = r.enter(); !e) return fail(std::move(e).error());
    r.eat();
    status = c == '{' ? detail::visit_map(r, rec, out, texts ? &*texts : nullptr) : detail::visit_seq(r, rec, out);
    r.leave();
    auto closed = c == '{' ? end_map(r) : end_seq(r);
    if (status.ok() && !closed.ok()) status = fail(std::move(closed).error());
  } else {
    status = fail(peek_invalid_type(r, "struct " + std::string(rec.name)));
  }
  if (!status) return fail(r.fix(std::move(status).error()));
  if (rec.settle) rec.settle(std::move(*texts), out);
  return out;
}

template <class T>
PResult<T> read_record(const Value& v, const Record<T>& rec) {
  T out{};
  // Records built from member rows are read from text only.
  for (const auto& f : rec.fields)
    if (!f.value) return fail(ParseError{"struct " + std::string(rec.name) + " is read from JSON text only"});
  if (v.is_object()) {
    std::vector<bool> seen(rec.fields.size(), false);
    for (const Member& m : v.as_object()) {
      std::size_t idx = 0;
      const Field<T>* f = detail::find_field(rec, m.key, idx);
      if (f) {
        seen[idx] = true;
        ZELQ_TRY(f->value(m.value, out));
      } else if (rec.unknown == Unknown::Deny) {
        auto names = detail::field_names(rec);
        return fail(unknown_field(m.key, names));
      } else if (rec.unknown == Unknown::Collect) {
        (out.*(rec.extensions)).insert(m.key, m.value);
      }
    }
    ZELQ_TRY(detail::check_missing(rec, seen));
    return out;
  }
  if (v.is_array() && rec.positional) {
    const Array& a = v.as_array();
    std::size_t i = 0;
    auto read = for_each_element(a, nullptr, [&](const Value& e) -> PResult<bool> {
      if (i == rec.fields.size()) return false;
      auto field = rec.fields[i].value(e, out);
      if (!field) return fail(std::move(field).error());
      return ++i < rec.fields.size();
    });
    if (!read) return fail(std::move(read).error());
    for (; i < rec.fields.size(); ++i)
      if (rec.fields[i].presence != Presence::Defaulted) return fail(invalid_length(i, detail::with_elements(rec)));
    if (const std::size_t n = array_length(a); n > rec.fields.size())
      return fail(invalid_length(n, "fewer elements in array"));
    return out;
  }
  return fail(invalid_type(v, "struct " + std::string(rec.name)));
}

// The whole text as one record.
template <class T>
PResult<T> parse_record(std::string_view text, const Record<T>& rec) {
  Reader r(text);
  auto out = read_record(r, rec);
  if (!out) return out;
  ZELQ_TRY(r.end());
  return out;
}

// An untagged choice: the value is captured whole, then each alternative is
// tried on it; when none fits only the enum's name is reported.
template <class E>
PResult<E> read_untagged(Reader& r, std::string_view enum_name, PResult<E> (*from_value)(const Value&)) {
  auto v = r.parse_value();
  if (!v) return fail(std::move(v).error());
  auto e = from_value(*v);
  if (!e) return fail(untagged_mismatch(enum_name));
  return e;
}

// ---- field adapters: one member pointer gives both roads ---------------------
template <class T, std::string T::*M>
PResult<void> text_string(Reader& r, T& t) {
  auto s = read_string(r);
  if (!s) return fail(std::move(s).error());
  t.*M = std::move(*s);
  return {};
}

template <class T, std::string T::*M>
PResult<void> value_string(const Value& v, T& t) {
  auto s = string_of(v);
  if (!s) return fail(std::move(s).error());
  t.*M = std::move(*s);
  return {};
}

template <class T, std::optional<std::string> T::*M>
PResult<void> text_opt_string(Reader& r, T& t) {
  auto s = read_opt_string(r);
  if (!s) return fail(std::move(s).error());
  t.*M = std::move(*s);
  return {};
}

template <class T, std::optional<std::string> T::*M>
PResult<void> value_opt_string(const Value& v, T& t) {
  auto s = opt_string_of(v);
  if (!s) return fail(std::move(s).error());
  t.*M = std::move(*s);
  return {};
}

// Scalars read through their value-road rule on both roads: the value is
// taken whole at the cursor, then judged.
template <class T, class M, PResult<M> (*Of)(const Value&), M T::*P>
PResult<void> value_scalar(const Value& v, T& t) {
  auto x = Of(v);
  if (!x) return fail(std::move(x).error());
  t.*P = std::move(*x);
  return {};
}

// Of a container in the member's place only its kind is told, so only its
// form is read.
template <class T, class M, PResult<M> (*Of)(const Value&), M T::*P>
PResult<void> text_scalar(Reader& r, T& t) {
  auto v = r.parse_value(kind_prune());
  if (!v) return fail(std::move(v).error());
  auto done = value_scalar<T, M, Of, P>(*v, t);
  if (!done) return fail(r.fix(std::move(done).error()));
  return {};
}

template <class T, std::uint64_t T::*M>
constexpr Field<T> u64_field(const char* name) {
  return Field<T>{name, Presence::Required, &text_scalar<T, std::uint64_t, &u64_of, M>,
                  &value_scalar<T, std::uint64_t, &u64_of, M>, nullptr, nullptr, &scalar_prune};
}

template <class T, UtcTime T::*M>
constexpr Field<T> utc_time_field(const char* name) {
  return Field<T>{name, Presence::Required, &text_scalar<T, UtcTime, &utc_time_of, M>,
                  &value_scalar<T, UtcTime, &utc_time_of, M>, nullptr, nullptr, &scalar_prune};
}

template <class T, UtcTime T::*M>
constexpr Field<T> date_time_field(const char* name) {
  return Field<T>{name, Presence::Required, &text_scalar<T, UtcTime, &date_time_of, M>,
                  &value_scalar<T, UtcTime, &date_time_of, M>, nullptr, nullptr, &scalar_prune};
}

// ---- a record with the raw text of its time member ---------------------------
// A time member at the cursor, read from text as `of` reads its value, with
// the string it was written as (unescaped) kept in `raw`: the form that a
// record's own checks judge, where the record keeps only the instant.
PResult<UtcTime> read_time_text(Reader& r, PResult<UtcTime> (*of)(const Value&), std::string& raw);

// The record and that raw text, read from text in one pass.
template <class T>
struct WithRawTime {
  T record;
  std::string raw_time;
};

// A row of T's table read into the record.
template <class T, PResult<void> (*Read)(Reader&, T&)>
PResult<void> text_in_record(Reader& r, WithRawTime<T>& w) {
  return Read(r, w.record);
}

template <class T, UtcTime T::*M, PResult<UtcTime> (*Of)(const Value&)>
PResult<void> text_raw_time(Reader& r, WithRawTime<T>& w) {
  auto t = read_time_text(r, Of, w.raw_time);
  if (!t) return fail(std::move(t).error());
  w.record.*M = *t;
  return {};
}

// T's table `Fields` on that road: row `Time` (member M, read as `Of` reads
// it) keeps its raw text, every other row reads into the record as it is.
template <class T, const auto& Fields, std::size_t Time, UtcTime T::*M, PResult<UtcTime> (*Of)(const Value&),
          std::size_t... I>
constexpr std::array<Field<WithRawTime<T>>, sizeof...(I)> rows_with_raw_time(std::index_sequence<I...>) {
  return {Field<WithRawTime<T>>{Fields[I].name, Fields[I].presence,
                                I == Time ? &text_raw_time<T, M, Of> : &text_in_record<T, Fields[I].text>,
                                nullptr}...};
}

// A record nested as a member, read by its own table on either road.
template <class T, class U, U T::*M, const Record<U>& R>
PResult<void> value_nested(const Value& v, T& t) {
  auto x = read_record(v, R);
  if (!x) return fail(std::move(x).error());
  t.*M = std::move(*x);
  return {};
}

template <class T, class U, U T::*M, const Record<U>& R>
PResult<void> text_nested(Reader& r, T& t) {
  auto x = read_record(r, R);
  if (!x) return fail(std::move(x).error());
  t.*M = std::move(*x);
  return {};
}

template <class T, class U, U T::*M, const Record<U>& R>
constexpr Field<T> nested_field(const char* name) {
  return Field<T>{name, Presence::Required, &text_nested<T, U, M, R>, &value_nested<T, U, M, R>, nullptr, nullptr,
                  &prune_of<U, R>};
}

// The same, optional: JSON null or an absent member leaves it empty.
template <class T, class U, std::optional<U> T::*M, const Record<U>& R>
PResult<void> value_opt_nested(const Value& v, T& t) {
  if (v.is_null()) {
    (t.*M).reset();
    return {};
  }
  auto x = read_record(v, R);
  if (!x) return fail(std::move(x).error());
  t.*M = std::move(*x);
  return {};
}

template <class T, class U, std::optional<U> T::*M, const Record<U>& R>
PResult<void> text_opt_nested(Reader& r, T& t) {
  if (r.peek_ws() == 'n') {
    auto v = r.parse_value();  // "null", or the reader's failure on a bad ident
    if (!v) return fail(std::move(v).error());
    (t.*M).reset();
    return {};
  }
  auto x = read_record(r, R);
  if (!x) return fail(std::move(x).error());
  t.*M = std::move(*x);
  return {};
}

template <class T, class U, std::optional<U> T::*M, const Record<U>& R>
constexpr Field<T> opt_nested_field(const char* name) {
  return Field<T>{name, Presence::Optional, &text_opt_nested<T, U, M, R>, &value_opt_nested<T, U, M, R>, nullptr,
                  nullptr, &prune_of<U, R>};
}

template <class T, std::string T::*M>
void write_string_member(const T& t, const char* name, Object& out) {
  out.insert(name, Value(t.*M));
}

template <class T, std::string T::*M>
constexpr Field<T> string_field(const char* name, Presence p = Presence::Required) {
  return Field<T>{name, p, &text_string<T, M>, &value_string<T, M>, &write_string_member<T, M>, nullptr,
                  &scalar_prune};
}

template <class T, std::optional<std::string> T::*M>
constexpr Field<T> opt_string_field(const char* name) {
  return Field<T>{name, Presence::Optional, &text_opt_string<T, M>, &value_opt_string<T, M>, nullptr, nullptr,
                  &scalar_prune};
}

// ---- member rows: one row reads a member from text and writes it back --------
//
//   json::member<&Body::title, json::read_string, json::string_value>("title")
//
// `Read` returns PResult<X> for the member's type (or X for an optional
// member); `Put` turns the held value into a JSON value. An optional member
// is written only when present.
template <class M>
struct MemberOf;
template <class C, class M>
struct MemberOf<M C::*> {
  using Owner = C;
  using Type = M;
};

template <class X>
inline constexpr bool kIsOptional = false;
template <class X>
inline constexpr bool kIsOptional<std::optional<X>> = true;
template <class X>
inline constexpr bool kIsOptional<Boxed<X>> = true;

template <auto Member>
using OwnerOf = typename MemberOf<decltype(Member)>::Owner;

template <auto Member, auto Read>
PResult<void> read_member(Reader& r, OwnerOf<Member>& t) {
  auto v = Read(r);
  if (!v) return fail(std::move(v).error());
  t.*Member = std::move(*v);
  return {};
}

template <auto Member, auto Put>
void write_member(const OwnerOf<Member>& t, const char* name, Object& out) {
  const auto& m = t.*Member;
  if constexpr (kIsOptional<std::remove_cvref_t<decltype(m)>>) {
    if (m) out.insert(name, Put(*m));
  } else {
    out.insert(name, Put(m));
  }
}

// A held JSON value is written where it stands, not through a copy.
template <auto Put, class X>
ZResult<void> emit_held(const X& x, Form form, TextSink& out, unsigned depth) {
  if constexpr (std::is_same_v<X, Value>) return write_value_text(x, form, out.text(), depth);
  else return write_value_text(Put(x), form, out.text(), depth);
}

template <auto Member, auto Put>
ZResult<bool> emit_member(const OwnerOf<Member>& t, Form form, TextSink& out) {
  const auto& m = t.*Member;
  if constexpr (kIsOptional<std::remove_cvref_t<decltype(m)>>) {
    if (!m) return false;
    ZELQ_TRY(emit_held<Put>(*m, form, out, 1));
  } else {
    ZELQ_TRY(emit_held<Put>(m, form, out, 1));
  }
  return true;
}

template <auto Member, auto Read, auto Put>
constexpr Field<OwnerOf<Member>> member(const char* name, Presence p = Presence::Required) {
  return Field<OwnerOf<Member>>{name, p, &read_member<Member, Read>, nullptr, &write_member<Member, Put>,
                                &emit_member<Member, Put>};
}

// A list member whose elements `Put` turns into values one at a time: as
// text, no value of the whole list is ever built.
template <auto Put, class L>
Value list_value(const L& list) {
  Array a;
  a.reserve(list.size());
  for (const auto& e : list) a.push_back(Put(e));
  return Value(std::move(a));
}

template <auto Put, class L>
ZResult<void> emit_list(const L& list, Form form, TextSink& out) {
  out.text().push_back('[');
  bool first = true;
  for (const auto& e : list) {
    if (!first) out.text().push_back(',');
    first = false;
    ZELQ_TRY(write_value_text(Put(e), form, out.text(), 2));
    out.boundary();
  }
  out.text().push_back(']');
  return {};
}

template <auto Member, auto Put>
void write_list_member(const OwnerOf<Member>& t, const char* name, Object& out) {
  const auto& m = t.*Member;
  if constexpr (kIsOptional<std::remove_cvref_t<decltype(m)>>) {
    if (m) out.insert(name, list_value<Put>(*m));
  } else {
    out.insert(name, list_value<Put>(m));
  }
}

template <auto Member, auto Put>
ZResult<bool> emit_list_member(const OwnerOf<Member>& t, Form form, TextSink& out) {
  const auto& m = t.*Member;
  if constexpr (kIsOptional<std::remove_cvref_t<decltype(m)>>) {
    if (!m) return false;
    ZELQ_TRY(emit_list<Put>(*m, form, out));
  } else {
    ZELQ_TRY(emit_list<Put>(m, form, out));
  }
  return true;
}

template <auto Member, auto Read, auto Put>
constexpr Field<OwnerOf<Member>> list_member(const char* name, Presence p = Presence::Required) {
  return Field<OwnerOf<Member>>{name, p, &read_member<Member, Read>, nullptr, &write_list_member<Member, Put>,
                                &emit_list_member<Member, Put>};
}

// Value makers for the rows.
inline Value string_value(const std::string& s) { return Value(s); }
inline Value unsigned_value(std::uint64_t n) { return Value::from_u64(n); }
inline Value copy_value(const Value& v) { return v; }

// The record as an object: its members in table order, then its extensions.
template <class T>
Object write_record(const T& t, const Record<T>& rec) {
  Object out;
  out.reserve(rec.fields.size() + (rec.extensions ? (t.*(rec.extensions)).size() : 0));
  for (const auto& f : rec.fields)
    if (f.write) f.write(t, f.name, out);
  if (rec.extensions)
    for (const Member& m : t.*(rec.extensions)) out.insert(m.key, m.value);
  return out;
}

template <class T>
Value record_value(const T& t, const Record<T>& rec) {
  return Value(write_record(t, rec));
}

// The record as object text, member by member from its rows, as
// to_string(record_value) or jcs_canonicalize(record_value) would write it:
// compact in table order with the extensions last, or canonical in key order
// without the top-level members named in `leave_out`. Every row that writes
// a member must be able to emit it.
template <class T>
ZResult<void> write_record_text(const T& t, const Record<T>& rec, Form form,
                                std::span<const std::string_view> leave_out, TextSink& out) {
  struct Slot {
    std::string_view key;
    const Field<T>* field;
    const Value* extension;
  };
  auto kept = [&](std::string_view key) {
    return std::find(leave_out.begin(), leave_out.end(), key) == leave_out.end();
  };
  std::vector<Slot> slots;
  for (const auto& f : rec.fields)
    if (f.write && kept(f.name)) slots.push_back(Slot{f.name, &f, nullptr});
  if (rec.extensions)
    for (const Member& m : t.*(rec.extensions))
      if (kept(m.key)) slots.push_back(Slot{m.key, nullptr, &m.value});
  if (form == Form::Canonical)
    std::sort(slots.begin(), slots.end(), [](const Slot& a, const Slot& b) { return a.key < b.key; });
  out.text().push_back('{');
  bool first = true;
  for (const Slot& s : slots) {
    // An absent member writes nothing and hands nothing on, so what its
    // key put down is taken back.
    const std::size_t mark = out.text().size();
    if (!first) out.text().push_back(',');
    if (form == Form::Canonical) write_canonical_string(s.key, out.text());
    else write_string(s.key, out.text());
    out.text().push_back(':');
    if (s.field) {
      auto written = s.field->emit(t, form, out);
      if (!written) return fail(std::move(written).error());
      if (!*written) {
        out.text().resize(mark);
        continue;
      }
    } else {
      ZELQ_TRY(write_value_text(*s.extension, form, out.text(), 1));
    }
    first = false;
    out.boundary();
  }
  out.text().push_back('}');
  return {};
}

// Compact text of the record, as to_string(record_value(t, rec)).
template <class T>
std::string record_text(const T& t, const Record<T>& rec) {
  TextSink out;
  // The compact form does not fail.
  (void)write_record_text(t, rec, Form::Compact, {}, out);
  return std::move(out).take();
}

// ---- lists of strings into a list of one's own ---------------------------------
// A JSON array of strings read as read_string_list reads it, failures
// included, each entry handed to `out.push_back(std::string_view)` as a view
// that lasts only for that call: no string object is made per entry.
template <class L>
PResult<L> read_strings_into(Reader& r) {
  L out;
  auto read = for_each_in_seq(r, [&](Reader& at) -> PResult<void> {
    bool escaped = false;
    auto s = read_string_view(at, escaped);
    if (!s) return fail(std::move(s).error());
    out.push_back(*s);
    return {};
  });
  if (!read) return fail(std::move(read).error());
  return out;
}

}  // namespace zelq::json
