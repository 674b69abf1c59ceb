#include "registry/witness_mint.hpp"

#include <utility>

#include "core/codec.hpp"
#include "core/content_hash.hpp"
#include "core/json/record.hpp"
#include "core/json/writer.hpp"
#include "did/did_key.hpp"
#include "did/did_url.hpp"
#include "registry/checkpoint.hpp"

namespace zelq::registry {

using json::Value;

std::string build_witness_cosignature_core(const crypto::ProducerIdentity& identity,
                                           const WitnessedCheckpoint& checkpoint, const UtcTime& witnessed_at) {
  json::Object witnessed;
  witnessed.insert("log_id", Value(checkpoint.log_id));
  witnessed.insert("tree_size", Value::from_u64(checkpoint.tree_size));
  witnessed.insert("root_hash", Value(checkpoint.root_hash));
  witnessed.insert("timestamp", json::rfc3339_millis_value(checkpoint.timestamp));
  json::Object cosig;
  cosig.insert("cosignature_version", Value(std::string(kCosignatureVersion)));
  cosig.insert("witness_id", Value(identity.agent_did));
  cosig.insert("witnessed_checkpoint", Value(std::move(witnessed)));
  // The canonical writer drops the sub-millisecond digits.
  cosig.insert("witnessed_at", json::rfc3339_millis_value(witnessed_at));
  // Nothing here nests deeply enough for canonicalisation to refuse it.
  const std::string digest = *signing_digest(cosig);
  auto sig = identity.key.sign(digest);
  json::Object signature;
  signature.insert("algorithm", Value(std::string(sig.algorithm)));
  signature.insert("key_id", Value(identity.key_id));
  signature.insert("value", Value(std::move(sig.value)));
  cosig.insert("signature", Value(std::move(signature)));
  return json::to_string(Value(std::move(cosig)));
}

Result<Secret32, ArgumentError> witness_seed_argument(std::string_view hex) {
  auto bytes = hex_decode_secret(hex);
  if (!bytes) return fail(ArgumentError{"invalid witness_seed_hex: " + bytes.error()});
  if (bytes->size() != Secret32::size()) return fail(ArgumentError{"witness_seed_hex must decode to 32 bytes"});
  return Secret32(std::span<const std::uint8_t, 32>(bytes->data(), 32));
}

ZResult<std::string> build_witness_cosignature(const Value& checkpoint, std::string_view witness_did, Secret32 seed,
                                               const UtcTime& witnessed_at) {
  auto read = json::read_record(checkpoint, kWitnessedCheckpointRecord);
  if (!read) {
    return fail(ZelqError::schema(
        "invalid witnessed_checkpoint (expected {log_id, tree_size, root_hash, timestamp}): " +
        read.error().message));
  }
  const crypto::ProducerIdentity identity{crypto::ProducerKey(crypto::Ed25519SigningKey::from_seed(std::move(seed))),
                                          std::string(witness_did),
                                          std::string(witness_did) + "#" + std::string(kWitnessKeyFragment)};
  if (!did::is_web_or_key_did(identity.agent_did)) {
    return fail(ZelqError::schema("witness signer witness_id must be did:web or did:key, got '" +
                                  identity.agent_did + "'"));
  }
  // The key id is formed here, so it fails exactly when the DID holds a '#'.
  if (!did::is_key_id_under_did(identity.key_id, identity.agent_did)) {
    return fail(ZelqError::schema("witness signer key_id '" + identity.key_id +
                                  "' must be '<witness_id>#<fragment>'"));
  }
  return build_witness_cosignature_core(identity, *read, witnessed_at);
}

}  // namespace zelq::registry
