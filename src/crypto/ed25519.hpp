// Ed25519 (RFC 8032, pure): signing from a 32-byte seed and verification
// of a standard-base64 signature text.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "core/error.hpp"
#include "core/secret.hpp"
#include "crypto/algorithm.hpp"

struct evp_pkey_st;

namespace zelq::crypto {

using Ed25519PublicKey = std::array<std::uint8_t, 32>;
using Ed25519Signature = std::array<std::uint8_t, 64>;

// True when the 32 bytes decode to a curve point: y (top bit cleared, taken
// modulo p) has an x on the curve. A set sign bit with x = 0 is accepted.
bool ed25519_key_is_point(std::span<const std::uint8_t, 32> key);

// Checks the key, then the signature text, then S < L, then the cofactorless
// equation [S]B - [k]A == R, compared as bytes; k hashes the key bytes as
// given. Every failure is InvalidSignature with the text of the refusing step.
ZResult<void> verify_ed25519(std::span<const std::uint8_t, 32> key, std::string_view sig_b64, std::string_view message);

// A standard-base64 (padded) 32-byte public key given as the argument
// `role`. The bytes are not checked to be a curve point.
Result<Ed25519PublicKey, ArgumentError> decode_public_key_b64(std::string_view text,
                                                             std::string_view role = "public_key_b64");

// The seed lives only inside OpenSSL's key object, which derives the public
// key once when it is made and wipes the seed when it is freed.
class Ed25519SigningKey {
 public:
  // Any 32 bytes are a seed.
  static Ed25519SigningKey from_seed(Secret32 seed);

  const Ed25519PublicKey& public_key() const { return public_; }
  // Deterministic; an OpenSSL failure unwinds as an internal failure.
  Ed25519Signature sign(std::string_view message) const;

 private:
  struct PkeyFree {
    void operator()(evp_pkey_st* p) const;
  };
  using Pkey = std::unique_ptr<evp_pkey_st, PkeyFree>;
  Ed25519SigningKey(Pkey key, const Ed25519PublicKey& pub) : key_(std::move(key)), public_(pub) {}
  Pkey key_;
  Ed25519PublicKey public_;
};

}  // namespace zelq::crypto
