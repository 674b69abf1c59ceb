// Minting a witness cosignature: the host acting as a witness signs a
// checkpoint it has observed and checked itself.
#pragma once

#include <string>
#include <string_view>

#include "core/error.hpp"
#include "core/json/value.hpp"
#include "core/secret.hpp"
#include "core/timestamp.hpp"
#include "crypto/producer_key.hpp"
#include "registry/cosignature_record.hpp"

namespace zelq::registry {

// The fragment of the key id a minting witness signs under.
inline constexpr std::string_view kWitnessKeyFragment = "witness-key-1";

// Signs the cosignature of `checkpoint` observed at `witnessed_at` (cut to
// whole milliseconds) with the identity's key; the compact JSON text, whose
// members carry exactly the values the digest covered.
std::string build_witness_cosignature_core(const crypto::ProducerIdentity& identity,
                                           const WitnessedCheckpoint& checkpoint, const UtcTime& witnessed_at);

// The witness's Ed25519 seed from its 64 hexadecimal digits (either case).
Result<Secret32, ArgumentError> witness_seed_argument(std::string_view hex);

// The minting road after its arguments are decoded: reads the checkpoint
// value, checks the witness DID, signs with the Ed25519 key of `seed`, which
// is wiped when the call ends. Failures are SchemaViolation.
ZResult<std::string> build_witness_cosignature(const json::Value& checkpoint, std::string_view witness_did,
                                               Secret32 seed, const UtcTime& witnessed_at);

}  // namespace zelq::registry
