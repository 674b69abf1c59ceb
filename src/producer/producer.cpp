#include "producer/producer.hpp"

#include <stdexcept>

#include "core/codec.hpp"
#include "core/content_hash.hpp"
#include "core/json/writer.hpp"
#include "crypto/jwk.hpp"
#include "did/did_key.hpp"
#include "did/did_url.hpp"

namespace zelq::producer {

namespace {

crypto::ProducerKey ed25519_key(const Secret32& seed) {
  return crypto::ProducerKey(crypto::Ed25519SigningKey::from_seed(seed.clone()));
}

// The stored secret, if it has the length every seed must have.
PResult<Secret32> seed_of(std::span<const std::uint8_t> seed) {
  if (seed.size() != 32) return fail(ArgumentError{"seed must be exactly 32 bytes"});
  return Secret32(std::span<const std::uint8_t, 32>(seed.data(), 32));
}

// The P-256 scalar check on caller's bytes; the key it derives is dropped
// (and so wiped) at once.
PResult<void> check_scalar(KeyKind kind, const Secret32& secret) {
  if (kind != KeyKind::P256) return {};
  auto key = crypto::p256_signing_key_from_bytes(secret.span());
  if (!key) return fail(ArgumentError{key.error().display()});
  return {};
}

std::string compact(const json::Value& v) {
  std::string out;
  json::write_compact(v, out);
  return out;
}

}  // namespace

ZResult<std::string> did_key_of(const crypto::ProducerKey& key) {
  if (const auto* k = key.ed25519()) return did::did_key_from_ed25519(k->public_key());
  return did::did_key_from_p256(key.p256()->public_uncompressed());
}

Producer Producer::generate(KeyKind kind, std::string agent_did, std::string key_id) {
  Secret32 secret = kind == KeyKind::Ed25519 ? crypto::random_secret32() : crypto::random_p256_key().scalar().clone();
  return Producer(kind, std::move(agent_did), std::move(key_id), std::move(secret));
}

PResult<Producer> Producer::from_seed(KeyKind kind, std::span<const std::uint8_t> seed, std::string agent_did,
                                      std::string key_id) {
  auto secret = seed_of(seed);
  if (!secret) return fail(std::move(secret).error());
  if (auto ok = check_scalar(kind, *secret); !ok) return fail(std::move(ok).error());
  return Producer(kind, std::move(agent_did), std::move(key_id), std::move(*secret));
}

PResult<Producer> Producer::with_did_key(KeyKind kind, Secret32 secret) {
  Producer p(kind, {}, {}, std::move(secret));
  auto key = p.key();
  if (!key) return fail(ArgumentError{key.error().display()});
  auto did = did_key_of(*key);
  if (!did) return fail(std::move(did).error());
  p.key_id_ = did::did_key_self_key_id(*did);
  p.agent_did_ = std::move(*did);
  return p;
}

Producer Producer::generate_did_key(KeyKind kind) {
  Secret32 secret = kind == KeyKind::Ed25519 ? crypto::random_secret32() : crypto::random_p256_key().scalar().clone();
  auto p = with_did_key(kind, std::move(secret));
  // A drawn key is always valid and always has a did:key.
  if (!p) throw std::logic_error("a drawn key has no did:key");
  return std::move(*p);
}

PResult<Producer> Producer::from_seed_did_key(KeyKind kind, std::span<const std::uint8_t> seed) {
  auto secret = seed_of(seed);
  if (!secret) return fail(std::move(secret).error());
  return with_did_key(kind, std::move(*secret));
}

ZResult<crypto::ProducerKey> Producer::key() const {
  if (kind_ == KeyKind::Ed25519) return ed25519_key(secret_);
  auto key = crypto::p256_signing_key_from_bytes(secret_.span());
  if (!key) return fail(std::move(key).error());
  return crypto::ProducerKey(std::move(*key));
}

PResult<std::string> Producer::sign_challenge(std::string_view signing_input) const {
  if (ContentHash::parse(signing_input)) return fail(ArgumentError{"signing_input must not be a content hash"});
  if (kind_ == KeyKind::Ed25519) return std::move(ed25519_key(secret_).sign(signing_input).value);
  auto sig = crypto::p256_sign(secret_.span(), signing_input);
  if (!sig) return fail(std::move(sig).error());
  return base64_encode(*sig);
}

std::string Producer::public_key_b64() const {
  return base64_encode(crypto::Ed25519SigningKey::from_seed(secret_.clone()).public_key());
}

ZResult<std::string> Producer::public_key_sec1_b64() const {
  auto key = crypto::p256_signing_key_from_bytes(secret_.span());
  if (!key) return fail(std::move(key).error());
  return base64_encode(key->public_uncompressed());
}

ZResult<std::string> Producer::public_key_jwk() const {
  auto key = crypto::p256_signing_key_from_bytes(secret_.span());
  if (!key) return fail(std::move(key).error());
  return compact(crypto::p256_public_key_jwk(*key));
}

ZResult<std::string> Producer::did_verification_method(std::string_view method_id,
                                                       std::string_view controller) const {
  auto key = crypto::p256_signing_key_from_bytes(secret_.span());
  if (!key) return fail(std::move(key).error());
  json::Object vm;
  vm.insert("id", json::Value(std::string(method_id)));
  vm.insert("type", json::Value("JsonWebKey2020"));
  vm.insert("controller", json::Value(std::string(controller)));
  vm.insert("publicKeyJwk", crypto::p256_public_key_jwk(*key));
  return compact(json::Value(std::move(vm)));
}

PResult<crypto::ProducerIdentity> Producer::identity() const {
  auto key = this->key();
  if (!key) return fail(std::move(key).error());
  if (!did::is_did_key(agent_did_)) {
    return crypto::ProducerIdentity{std::move(*key), agent_did_, key_id_};
  }
  auto derived = did_key_of(*key);
  if (!derived) return fail(std::move(derived).error());
  if (*derived != agent_did_) {
    return fail(ArgumentError{"did:key identity mismatch: this seed derives '" + *derived +
                               "', not the stored agent_did '" + agent_did_ +
                               "' \xe2\x80\x94 the seed does not correspond to the stored did:key (use "
                               "from_seed_did_key, or pass the seed that owns this DID)"});
  }
  std::string key_id = did::did_key_self_key_id(*derived);
  return crypto::ProducerIdentity{std::move(*key), std::move(*derived), std::move(key_id)};
}

}  // namespace zelq::producer
