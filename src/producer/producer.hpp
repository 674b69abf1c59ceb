// A producer identity: an agent DID, the DID URL of its signing key and the
// 32-byte secret of that key (an Ed25519 seed or a big-endian P-256 scalar).
// Only the secret is kept; every operation that needs the public key derives
// it again and wipes the derived copy before it returns.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "core/error.hpp"
#include "core/secret.hpp"
#include "crypto/producer_key.hpp"
#include "producer/failure.hpp"

namespace zelq::producer {

enum class KeyKind : std::uint8_t { Ed25519, P256 };

class Producer {
 public:
  // A fresh key from the operating system's random source; the texts are
  // stored as given, unchecked.
  static Producer generate(KeyKind kind, std::string agent_did, std::string key_id);
  // ValueError "seed must be exactly 32 bytes"; for P-256 also the scalar
  // check's display text when the bytes are 0 or not below the group order.
  static PResult<Producer> from_seed(KeyKind kind, std::span<const std::uint8_t> seed, std::string agent_did,
                                     std::string key_id);
  // The identity is the key itself: agent_did is its did:key DID, key_id
  // that DID with its own identifier as the fragment.
  static Producer generate_did_key(KeyKind kind);
  static PResult<Producer> from_seed_did_key(KeyKind kind, std::span<const std::uint8_t> seed);

  const std::string& agent_did() const { return agent_did_; }
  const std::string& key_id() const { return key_id_; }
  const Secret32& secret() const { return secret_; }

  // Standard base64 of the 64-byte signature over the text's UTF-8 bytes.
  // A text of the content-hash form is refused (ValueError): a publish
  // signature is a signature over exactly such a text, so signing one on
  // request would hand out a publish signature for content never seen.
  PResult<std::string> sign_challenge(std::string_view signing_input) const;

  // Ed25519 producers: standard base64 of the 32-byte public key.
  std::string public_key_b64() const;
  // P-256 producers: the 65-byte SEC1 uncompressed point in standard base64,
  // the JWK as compact JSON, and a JsonWebKey2020 verification method.
  ZResult<std::string> public_key_sec1_b64() const;
  ZResult<std::string> public_key_jwk() const;
  ZResult<std::string> did_verification_method(std::string_view method_id, std::string_view controller) const;

  // The signing identity of one build call. A stored did:key DID must be the
  // one the secret derives (ValueError otherwise), and the key id is then
  // derived from it; any other DID and key id are taken as stored.
  PResult<crypto::ProducerIdentity> identity() const;

 private:
  Producer(KeyKind kind, std::string agent_did, std::string key_id, Secret32 secret)
      : kind_(kind), agent_did_(std::move(agent_did)), key_id_(std::move(key_id)), secret_(std::move(secret)) {}
  static PResult<Producer> with_did_key(KeyKind kind, Secret32 secret);
  // The key pair of the stored secret; only a P-256 scalar can be refused.
  ZResult<crypto::ProducerKey> key() const;

  KeyKind kind_;
  std::string agent_did_;
  std::string key_id_;
  Secret32 secret_;
};

// The did:key DID of a key's public half.
ZResult<std::string> did_key_of(const crypto::ProducerKey& key);

}  // namespace zelq::producer
