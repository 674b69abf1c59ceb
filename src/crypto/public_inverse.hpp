// Modular inverse of a public 256-bit number, for verification arithmetic.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace zelq::crypto {

using Be256 = std::array<std::uint8_t, 32>;

// a^-1 mod m for an odd modulus m and 0 < a < m with gcd(a, m) = 1, all
// big-endian; zero when a has no inverse. Variable time: only for values
// that are not secret.
Be256 public_inverse_mod(std::span<const std::uint8_t, 32> a, std::span<const std::uint8_t, 32> m);

}  // namespace zelq::crypto
