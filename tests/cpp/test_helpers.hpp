// Small helpers shared by the C++ unit tests.
#pragma once

#include <string>
#include <string_view>

#include "core/codec.hpp"

namespace zelq::testing {

inline Bytes unhex(std::string_view h) {
  auto r = hex_decode(h);
  if (!r) throw std::runtime_error("bad hex in test: " + std::string(h));
  return std::move(r).value();
}

template <std::size_t N>
std::array<std::uint8_t, N> unhex_array(std::string_view h) {
  auto b = unhex(h);
  if (b.size() != N) throw std::runtime_error("wrong length in test: " + std::string(h));
  std::array<std::uint8_t, N> a{};
  std::copy(b.begin(), b.end(), a.begin());
  return a;
}

// The display text of a failed result, or "ok".
template <class R>
std::string outcome(const R& r) {
  return r.ok() ? std::string("ok") : r.error().display();
}

}  // namespace zelq::testing
