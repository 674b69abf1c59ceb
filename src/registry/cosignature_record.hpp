// The witness cosignature record: a witness's signed statement that it saw a
// log at a given size and root, and the digest its signature covers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/error.hpp"
#include "core/json/value.hpp"
#include "core/json/record.hpp"
#include "core/timestamp.hpp"
#include "registry/artefact.hpp"
#include "wire/signature.hpp"

namespace zelq::registry {

inline constexpr std::string_view kCosignatureVersion = "zelq-cosig/1";

// The checkpoint as the witness saw it. Members are held as given; the
// cosignature checks judge them.
struct WitnessedCheckpoint {
  std::string log_id;
  std::uint64_t tree_size = 0;
  std::string root_hash;
  UtcTime timestamp;
};

struct LogCosignature {
  std::string cosignature_version;
  std::string witness_id;
  WitnessedCheckpoint witnessed_checkpoint;
  UtcTime witnessed_at;
  wire::Signature signature;
};

// Closed records, also read from arrays in member order.
extern const json::Record<WitnessedCheckpoint> kWitnessedCheckpointRecord;
extern const json::Record<LogCosignature> kLogCosignatureRecord;

ZelqError cosignature_error(std::string message);

// The signing digest of the cosignature as received (its "signature" left
// out); what the witness signs is the ASCII text of this digest.
ZResult<std::string> cosignature_signing_digest(const json::Value& raw);

// What reading a cosignature or a witnessed checkpoint argument builds of it.
const json::Prune* log_cosignature_prune();
const json::Prune* witnessed_checkpoint_prune();

}  // namespace zelq::registry
