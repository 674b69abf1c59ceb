// Log checkpoints: a registry's signed statement that its log `log_id` held
// `tree_size` leaves with root `root_hash` at `timestamp`. Their closed
// reading, the log_id rule, the binding of the signing key to the registry
// named by log_id, freshness against the consumer clock, and the signature.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/error.hpp"
#include "core/json/value.hpp"
#include "core/json/record.hpp"
#include "core/timestamp.hpp"
#include "did/key_select.hpp"
#include "registry/artefact.hpp"
#include "wire/signature.hpp"

namespace zelq::registry {

inline constexpr std::string_view kCheckpointVersion = "zelq-log/1";

struct LogCheckpoint {
  std::string checkpoint_version;
  std::string log_id;
  std::uint64_t tree_size = 0;
  std::string root_hash;  // wire form, kept as given
  UtcTime timestamp;
  wire::Signature signature;
};

// The closed record alone (no checks beyond member types), for artefacts
// that embed a checkpoint.
extern const json::Record<LogCheckpoint> kLogCheckpointRecord;
// The same record read from text with the raw text of its timestamp, which
// the checks judge, kept on the way. Objects only: the raw member of the
// positional form is no member at all.
extern const json::Record<json::WithRawTime<LogCheckpoint>> kLogCheckpointTextRecord;

// Closed read, version tag, log_id rule, root_hash form, canonical raw
// timestamp, key binding; every failure InvalidLogProof. No signature, clock
// or pin.
ZResult<LogCheckpoint> parse_log_checkpoint(const json::Value& v);
// The same checks after the closed read, given the text of the raw
// "timestamp" member (nullptr when the value has none that is a string).
ZResult<void> check_log_checkpoint(const LogCheckpoint& cp, const std::string* raw_timestamp);

// '<registry_did>/log/<instance>', split at the first "/log/"; both parts are
// views into `log_id`.
struct LogIdParts {
  std::string_view registry_did;
  std::string_view instance;
};
ZResult<LogIdParts> check_log_id(std::string_view log_id);

// The registry DID of the checkpoint's log_id (a view into it), once its
// signature.key_id is a DID URL under that DID.
ZResult<std::string_view> check_checkpoint_key_id(const LogCheckpoint& cp);

// The timestamp may lie at most the window's skew past its clock.
ZResult<void> check_checkpoint_timestamp_fresh(const LogCheckpoint& cp, const ConsumerClock& clock);

// The digest the registry signed: the raw checkpoint object without its
// signature, in canonical form.
ZResult<std::string> checkpoint_signing_digest(const json::Value& raw);

ZResult<void> verify_checkpoint_signature(const LogCheckpoint& cp, std::string_view digest,
                                          const did::ResolvedSigningKey& key);

// What a valid checkpoint tells the host.
struct CheckpointSummary {
  std::string log_id;
  std::uint64_t tree_size = 0;
  std::string root_hash;
  std::int64_t age_secs = 0;
  bool historical = false;
};

// Every check in order: parse, pin, key binding, freshness, key resolution
// from the registry's DID document text, signing digest, signature.
ZResult<CheckpointSummary> verify_log_checkpoint(const json::Value& raw, std::string_view registry_did_doc_json,
                                                 std::optional<std::string_view> expected_log_id,
                                                 const ConsumerClock& clock);

// {"valid":true,"log_id":..,"tree_size":..,"root_hash":..,"age_secs":..,"historical":..}
std::string checkpoint_summary_json(const CheckpointSummary& s);

// What reading a checkpoint argument builds of it.
const json::Prune* log_checkpoint_prune();

}  // namespace zelq::registry
