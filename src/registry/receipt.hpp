// Registry receipts: the registry's signed statement that it accepted a body
// with a given content hash, from a producer key with a given fingerprint,
// for a given ctx_id, at a given millisecond. Read closed from the raw wire
// value, cross-checked against what the consumer asked for and recomputed and
// against the body served with it, and verified over the preimage hash of the
// raw value (never a re-written record).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/error.hpp"
#include "core/json/value.hpp"
#include "core/content_hash.hpp"
#include "core/timestamp.hpp"
#include "registry/artefact.hpp"
#include "wire/body.hpp"
#include "wire/signature.hpp"
#include "wire/validators.hpp"

namespace zelq::registry {

// "invalid registry receipt: {}": every failure of a receipt check.
ZelqError invalid_receipt(std::string message);

struct RegistryReceipt {
  std::string registry_did;
  std::string ctx_id;
  std::string lineage_id;
  std::string origin_registry;
  UtcTime created_at;
  std::string content_hash;
  std::string key_fingerprint;
  wire::Signature signature;
};

// The raw member "created_at" is a canonical millisecond timestamp.
ZResult<void> receipt_created_at(const json::Value& raw);

// Closed read of the raw value: exactly the eight members.
ZResult<RegistryReceipt> parse_registry_receipt(const json::Value& raw);

// The receipt against the consumer's own request: ctx_id, recomputed body
// hash, resolved producer key fingerprint (absent matches nothing), the
// millisecond truncation of created_at, registry_did against origin_registry.
ZResult<void> cross_check(const RegistryReceipt& receipt, std::string_view expected_ctx_id,
                          std::string_view recomputed_body_hash,
                          std::optional<std::string_view> producer_key_fingerprint);

// What a receipt binds of the body served with it.
struct BodyBinding {
  std::string_view lineage_id;
  std::string_view origin_registry;
  UtcTime created_at;
};

ZResult<void> check_receipt_against_body(const RegistryReceipt& receipt, const BodyBinding& body);

// The preimage hash of a raw artefact: its members less "signature", in
// canonical form; `label` names the artefact when the value is no object.
ZResult<std::string> receipt_signing_digest(const json::Value& raw, std::string_view label);

// The raw member "created_at" is canonical, then the closed read.
ZResult<RegistryReceipt> read_registry_receipt(const json::Value& raw);

// Everything after the arguments have been read: the cross-checks against
// the request and the body, then the registry signature over the preimage
// hash of the raw receipt.
ZResult<void> verify_receipt(const json::Value& raw, const RegistryReceipt& receipt, const wire::Body& body,
                             const crypto::Ed25519PublicKey& registry_key, const wire::CtxId& expected_ctx_id,
                             const ContentHash& recomputed_body_hash,
                             std::optional<std::string_view> producer_key_fingerprint);

// The registry signature over `message` with the registry key resolved,
// which must be of the algorithm the receipt declares. Messages name the
// artefact "receipt", whoever calls.
ZResult<void> verify_receipt_signature(const wire::Signature& signature, std::string_view message,
                                       const crypto::PublicKey& key);

// What reading a receipt argument builds of it.
const json::Prune* registry_receipt_prune();

}  // namespace zelq::registry
