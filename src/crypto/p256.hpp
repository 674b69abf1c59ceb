// ECDSA over NIST P-256 with SHA-256: SEC1 public keys, verification of
// 64-byte r||s signatures, and deterministic signing (RFC 6979 nonces).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "core/error.hpp"
#include "core/secret.hpp"
#include "crypto/algorithm.hpp"

namespace zelq::crypto {

using P256Uncompressed = std::array<std::uint8_t, 65>;
using P256Compressed = std::array<std::uint8_t, 33>;
using P256Signature = std::array<std::uint8_t, 64>;

// A point of the curve other than the identity.
class P256PublicKey {
 public:
  // SEC1: 33 bytes led by 0x02/0x03 or 65 bytes led by 0x04, coordinates
  // below the field prime, on the curve. Anything else gives nullopt.
  static std::optional<P256PublicKey> from_sec1(std::span<const std::uint8_t> sec1);

  const P256Uncompressed& uncompressed() const { return point_; }
  P256Compressed compressed() const;

 private:
  explicit P256PublicKey(const P256Uncompressed& p) : point_(p) {}
  P256Uncompressed point_;
};

// Key, then signature text, then length, then 0 < r, s < n, then the
// equation; no low-S rule. Every failure is InvalidSignature.
ZResult<void> verify_p256(std::span<const std::uint8_t> key_sec1, std::string_view sig_b64, std::string_view message);

// A secret scalar 0 < d < n with its public point Q = d*G.
class P256SigningKey {
 public:
  const Secret32& scalar() const { return d_; }
  const P256Uncompressed& public_uncompressed() const { return q_; }
  P256Compressed public_compressed() const;

  // SHA-256, an RFC 6979 nonce, r||s big-endian; s is left as computed, not
  // folded into the lower half. An OpenSSL failure unwinds as an internal
  // failure.
  P256Signature sign(std::string_view message) const;

  P256SigningKey clone() const { return P256SigningKey(d_.clone(), q_); }

 private:
  friend ZResult<P256SigningKey> p256_signing_key_from_bytes(std::span<const std::uint8_t, 32> bytes);
  P256SigningKey(Secret32 d, const P256Uncompressed& q) : d_(std::move(d)), q_(q) {}
  Secret32 d_;
  P256Uncompressed q_;
};

// d read big-endian; 0 < d < n checked in constant time, else SchemaViolation.
ZResult<P256SigningKey> p256_signing_key_from_bytes(std::span<const std::uint8_t, 32> bytes);

// The signature of P256SigningKey::sign straight from the scalar bytes, with
// the same check, without computing the public point a signature does not
// need.
ZResult<P256Signature> p256_sign(std::span<const std::uint8_t, 32> scalar, std::string_view message);

}  // namespace zelq::crypto
