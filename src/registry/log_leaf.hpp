// The log leaf: the entry a registry's transparency log commits to for one
// accepted publication, its closed reading, its two written forms and its
// leaf hash.
#pragma once

#include <string>

#include "core/error.hpp"
#include "core/json/value.hpp"
#include "core/json/record.hpp"
#include "core/sha256.hpp"
#include "core/timestamp.hpp"
#include "registry/artefact.hpp"

namespace zelq::registry {

inline constexpr std::string_view kLeafVersion = "zelq-log-leaf/1";

struct LogLeaf {
  std::string leaf_version;
  std::string ctx_id;
  std::string lineage_id;
  std::string origin_registry;
  UtcTime created_at;  // millisecond precision once checked
  std::string content_hash;
  std::string key_fingerprint;
  std::string receipt_hash;
};

// The closed record alone, for artefacts that embed a leaf.
extern const json::Record<LogLeaf> kLogLeafRecord;
// The same record read from text with the raw text of created_at, which the
// checks judge, kept on the way. Objects only: the raw member of the
// positional form is no member at all.
extern const json::Record<json::WithRawTime<LogLeaf>> kLogLeafTextRecord;

// Closed read, version tag, then the raw created_at in canonical form; every
// failure InvalidLogProof.
ZResult<LogLeaf> parse_log_leaf(const json::Value& v);
// The same checks after the closed read, given the text of the raw
// "created_at" member (nullptr when the value has none that is a string).
ZResult<void> check_log_leaf(const LogLeaf& leaf, const std::string* raw_created_at);

// The canonical bytes the leaf hash covers, written from the record, so
// member order, whitespace and escapes of the source text do not matter.
ZResult<std::string> log_leaf_canonical_bytes(const LogLeaf& leaf);
Digest32 log_leaf_digest(const LogLeaf& leaf);
// "sha256:" + hex of SHA-256(0x00 || canonical bytes).
std::string log_leaf_hash(const LogLeaf& leaf);

// Compact JSON, members in declaration order.
std::string write_log_leaf(const LogLeaf& leaf);

// The leaf a log must hold for a receipt: the receipt's members copied, and
// receipt_hash its signing digest over the raw JSON as received. Only the
// receipt's shape and created_at form are checked (InvalidReceipt); its
// signature and bindings are verify_receipt's business.
ZResult<LogLeaf> log_leaf_from_receipt(const json::Value& raw_receipt);

// What reading a leaf argument builds of it.
const json::Prune* log_leaf_prune();

}  // namespace zelq::registry
