// An optional value kept on the heap: one pointer while it is absent. For
// members that are seldom present in records held by the thousand, such as
// the rarer members of a data reference, where an inline optional would
// cost its full size in every record.
#pragma once

#include <memory>
#include <utility>

namespace zelq {

template <class T>
class Boxed {
 public:
  Boxed() = default;
  Boxed(const Boxed& o) : p_(o.p_ ? std::make_unique<T>(*o.p_) : nullptr) {}
  Boxed(Boxed&&) noexcept = default;
  Boxed& operator=(const Boxed& o) {
    if (this != &o) p_ = o.p_ ? std::make_unique<T>(*o.p_) : nullptr;
    return *this;
  }
  Boxed& operator=(Boxed&&) noexcept = default;
  Boxed& operator=(T value) {
    p_ = std::make_unique<T>(std::move(value));
    return *this;
  }
  ~Boxed() = default;

  void reset() { p_.reset(); }
  bool has_value() const { return p_ != nullptr; }
  explicit operator bool() const { return has_value(); }
  const T& operator*() const { return *p_; }
  T& operator*() { return *p_; }
  const T* operator->() const { return p_.get(); }
  T* operator->() { return p_.get(); }
  // Equal when both are absent or both hold equal values.
  friend bool operator==(const Boxed& a, const Boxed& b) {
    return a.has_value() == b.has_value() && (!a.has_value() || *a == *b);
  }

 private:
  std::unique_ptr<T> p_;
};

}  // namespace zelq
