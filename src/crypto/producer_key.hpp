// The signing key of a producer or a witness: Ed25519 or P-256, the one
// operation that signs message bytes into a Signature's algorithm and value,
// fresh keys from the operating system's random source, and the signing
// identity a build or a cosignature mint holds for one call.
#pragma once

#include <string>
#include <string_view>
#include <variant>

#include "crypto/ed25519.hpp"
#include "crypto/p256.hpp"

namespace zelq::crypto {

class ProducerKey {
 public:
  explicit ProducerKey(Ed25519SigningKey key) : key_(std::move(key)) {}
  explicit ProducerKey(P256SigningKey key) : key_(std::move(key)) {}

  // "ed25519" or "ecdsa-p256".
  std::string_view algorithm() const;

  struct Signed {
    std::string_view algorithm;
    std::string value;  // standard base64 of the 64 signature bytes, 88 characters
  };
  // Deterministic for both algorithms; no failure result (an OpenSSL
  // failure unwinds as an internal failure).
  Signed sign(std::string_view message) const;

  // nullptr unless the key is of that kind.
  const Ed25519SigningKey* ed25519() const { return std::get_if<Ed25519SigningKey>(&key_); }
  const P256SigningKey* p256() const { return std::get_if<P256SigningKey>(&key_); }

 private:
  std::variant<Ed25519SigningKey, P256SigningKey> key_;
};

// Who signs: the key, the DID written as the signer and the key id written
// into the signature. Destroying it wipes the key's secret.
struct ProducerIdentity {
  ProducerKey key;
  std::string agent_did;
  std::string key_id;
};

// 32 bytes from the operating system's random source; a failing source
// unwinds as an internal failure.
Secret32 random_secret32();
// A uniformly random scalar in 1..n-1, drawn by rejection.
P256SigningKey random_p256_key();

}  // namespace zelq::crypto
