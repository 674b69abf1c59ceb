#include "crypto/public_inverse.hpp"

namespace zelq::crypto {

namespace {

// Four 64-bit limbs, least significant first.
using Limbs = std::array<std::uint64_t, 4>;

Limbs from_be(std::span<const std::uint8_t, 32> be) {
  Limbs out{};
  for (std::size_t i = 0; i < 32; ++i) out[3 - i / 8] = (out[3 - i / 8] << 8) | be[i];
  return out;
}

Be256 to_be(const Limbs& x) {
  Be256 out{};
  for (std::size_t i = 0; i < 32; ++i) out[i] = static_cast<std::uint8_t>(x[3 - i / 8] >> (56 - 8 * (i % 8)));
  return out;
}

std::uint64_t add_in_place(Limbs& a, const Limbs& b) {
  std::uint64_t carry = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    const std::uint64_t sum = a[i] + b[i];
    const std::uint64_t out = sum + carry;
    carry = static_cast<std::uint64_t>(sum < a[i]) | static_cast<std::uint64_t>(out < sum);
    a[i] = out;
  }
  return carry;
}

std::uint64_t sub_in_place(Limbs& a, const Limbs& b) {
  std::uint64_t borrow = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    const std::uint64_t diff = a[i] - b[i];
    const std::uint64_t out = diff - borrow;
    borrow = static_cast<std::uint64_t>(a[i] < b[i]) | static_cast<std::uint64_t>(diff < borrow);
    a[i] = out;
  }
  return borrow;
}

// a = (top:a) >> 1, where top is a 257th bit.
void shift_right(Limbs& a, std::uint64_t top) {
  for (std::size_t i = 0; i < 3; ++i) a[i] = (a[i] >> 1) | (a[i + 1] << 63);
  a[3] = (a[3] >> 1) | (top << 63);
}

bool is_one(const Limbs& a) { return a[0] == 1 && (a[1] | a[2] | a[3]) == 0; }

bool is_zero(const Limbs& a) { return (a[0] | a[1] | a[2] | a[3]) == 0; }

bool less(const Limbs& a, const Limbs& b) {
  for (std::size_t i = 4; i-- > 0;) {
    if (a[i] != b[i]) return a[i] < b[i];
  }
  return false;
}

// x = x / 2 mod m, for x < m.
void halve_mod(Limbs& x, const Limbs& m) {
  const std::uint64_t carry = (x[0] & 1) != 0 ? add_in_place(x, m) : 0;
  shift_right(x, carry);
}

// x = x - y mod m, for x, y < m.
void sub_mod(Limbs& x, const Limbs& y, const Limbs& m) {
  if (sub_in_place(x, y) != 0) add_in_place(x, m);
}

}  // namespace

Be256 public_inverse_mod(std::span<const std::uint8_t, 32> a, std::span<const std::uint8_t, 32> m) {
  // Binary extended Euclid: x1*a = u and x2*a = v (mod m) throughout. u and
  // v stay coprime, so they never meet above 1 and neither reaches zero; a
  // caller's broken promise ends in zero rather than in an endless loop.
  const Limbs mod = from_be(m);
  Limbs u = from_be(a), v = mod, x1{1, 0, 0, 0}, x2{};
  while (!is_one(u) && !is_one(v)) {
    if (is_zero(u) || is_zero(v)) return Be256{};
    while ((u[0] & 1) == 0) {
      shift_right(u, 0);
      halve_mod(x1, mod);
    }
    while ((v[0] & 1) == 0) {
      shift_right(v, 0);
      halve_mod(x2, mod);
    }
    if (less(u, v)) {
      sub_in_place(v, u);
      sub_mod(x2, x1, mod);
    } else {
      sub_in_place(u, v);
      sub_mod(x1, x2, mod);
    }
  }
  return to_be(is_one(u) ? x1 : x2);
}

}  // namespace zelq::crypto
