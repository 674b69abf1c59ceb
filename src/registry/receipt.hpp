// Registry receipts: a registry's signed statement that it accepted a body
// with a given content hash from a producer key, for a ctx_id, at a
// millisecond. This file holds the receipt record, its closed reading, the
// raw created_at check and the digest its signature covers; the cross-checks
// against what the consumer requested and the signature check build on them.
#pragma once

#include <string>
#include <string_view>

#include "core/error.hpp"
#include "core/json/value.hpp"
#include "core/timestamp.hpp"
#include "registry/artefact.hpp"
#include "wire/signature.hpp"

namespace zelq::registry {

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

// The raw created_at member must be a string in the canonical millisecond
// form; InvalidReceipt otherwise (a non-object has no members).
ZResult<void> receipt_created_at(const json::Value& raw);

// Closed read; InvalidReceipt "registry_receipt does not parse: {}".
ZResult<RegistryReceipt> parse_registry_receipt(const json::Value& raw);

// The receipt's preimage hash over the raw JSON as received; `label` names
// the artefact in the non-object message ("receipt", "lineage_head_receipt").
ZResult<std::string> receipt_signing_digest(const json::Value& raw, std::string_view label);

}  // namespace zelq::registry
