// Checking a witness cosignature: its form, its binding to the checkpoint the
// consumer holds, the witness's signature under a key from the witness's DID
// document, and the forward clock skew of its observation time.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/error.hpp"
#include "core/json/value.hpp"
#include "core/timestamp.hpp"
#include "crypto/ed25519.hpp"
#include "crypto/p256.hpp"
#include "did/did_document.hpp"
#include "registry/artefact.hpp"
#include "registry/checkpoint.hpp"
#include "registry/cosignature_record.hpp"

namespace zelq::registry {

// A cosignature older than this is reported stale (never failed for it).
inline constexpr std::int64_t kStaleAfterSecs = 300;

// The record and its form checks (version, witness DID, log_id, root hash,
// canonical times, key binding). Every failure is InvalidWitnessCosignature.
ZResult<LogCosignature> parse_log_cosignature(const json::Value& raw);

// signature.key_id is witness_id, '#' and a non-empty fragment.
ZResult<void> check_cosignature_key_id(const LogCosignature& c);

// With the key decoded for the signature's algorithm.
ZResult<void> verify_cosignature_signature(const LogCosignature& c, std::string_view digest,
                                           const crypto::PublicKey& key);

// witnessed_at may lie at most the clock's allowance after its now.
ZResult<void> check_witnessed_at_fresh(const LogCosignature& c, const ConsumerClock& clock);

// The whole per-cosignature check against the evaluated checkpoint and the
// witness's DID document value (left unchanged). Returns the record read.
ZResult<LogCosignature> verify_cosignature_with_doc(const json::Value& cosig, const json::Value& witness_doc,
                                                    const LogCheckpoint& checkpoint, const ConsumerClock& clock);

// The same check with the witness's DID document already read (or the
// failure of that read), for callers that meet one document many times.
ZResult<LogCosignature> verify_cosignature_with_read_doc(const json::Value& cosig,
                                                         const json::PResult<did::DidDocument>& witness_doc,
                                                         const LogCheckpoint& checkpoint, const ConsumerClock& clock);

// The method's road after its arguments are read: the success object
// {"valid","witness_id","age_secs","stale"} or a witness failure verdict, as
// compact JSON text.
std::string verify_witness_cosignature(const json::Value& cosig, const json::Value& witness_doc,
                                       const json::Value& expected_checkpoint, const ConsumerClock& clock);

}  // namespace zelq::registry
