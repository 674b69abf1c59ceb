// A value or an error, never both. The core returns these instead of
// throwing; the binding layer turns the error side into a Python exception.
#pragma once

#include <type_traits>
#include <utility>
#include <variant>

namespace zelq {

template <class E>
struct Unexpected {
  E error;
};

template <class E>
Unexpected<std::decay_t<E>> fail(E&& e) {
  return Unexpected<std::decay_t<E>>{std::forward<E>(e)};
}

template <class T, class E>
class [[nodiscard]] Result {
 public:
  Result(T value) : v_(std::in_place_index<0>, std::move(value)) {}
  template <class G>
  Result(Unexpected<G> u) : v_(std::in_place_index<1>, std::move(u.error)) {}

  bool ok() const { return v_.index() == 0; }
  explicit operator bool() const { return ok(); }

  T& value() & { return std::get<0>(v_); }
  const T& value() const& { return std::get<0>(v_); }
  T&& value() && { return std::get<0>(std::move(v_)); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }
  T&& operator*() && { return std::move(*this).value(); }

  E& error() & { return std::get<1>(v_); }
  const E& error() const& { return std::get<1>(v_); }
  E&& error() && { return std::get<1>(std::move(v_)); }

 private:
  std::variant<T, E> v_;
};

// Success carries nothing.
template <class E>
class [[nodiscard]] Result<void, E> {
 public:
  Result() = default;
  template <class G>
  Result(Unexpected<G> u) : v_(std::in_place_index<1>, std::move(u.error)) {}

  bool ok() const { return v_.index() == 0; }
  explicit operator bool() const { return ok(); }
  E& error() & { return std::get<1>(v_); }
  const E& error() const& { return std::get<1>(v_); }
  E&& error() && { return std::get<1>(std::move(v_)); }

 private:
  std::variant<std::monostate, E> v_;
};

}  // namespace zelq

// Propagate the error side of a Result expression; evaluates to nothing.
#define ZELQ_TRY(expr)                                        \
  do {                                                        \
    auto&& zelq_try_r_ = (expr);                              \
    if (!zelq_try_r_.ok()) return ::zelq::fail(std::move(zelq_try_r_).error()); \
  } while (0)

// Declare `var` as the value of a Result expression, or propagate its error.
#define ZELQ_TRY_ASSIGN(var, expr)                        \
  auto var##_r = (expr);                                  \
  if (!var##_r) return ::zelq::fail(std::move(var##_r).error()); \
  auto var = *std::move(var##_r)
