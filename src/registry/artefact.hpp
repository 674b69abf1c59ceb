// What every signed registry artefact shares: its raw string members, the
// digest its signature covers, the check of that signature against resolved
// keys, and the consumer clock with the skew allowance its freshness is
// judged by. Checkpoints, cosignatures, lineage heads and lifecycle events
// can all read through these.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/error.hpp"
#include "core/json/value.hpp"
#include "core/timestamp.hpp"
#include "crypto/algorithm.hpp"
#include "crypto/ed25519.hpp"
#include "crypto/p256.hpp"
#include "crypto/verify.hpp"
#include "did/key_select.hpp"
#include "wire/signature.hpp"

namespace zelq::registry {

// ---- raw members ---------------------------------------------------------------
// The member's text when `v` is an object holding it as a JSON string.
const std::string* raw_string_member(const json::Value& v, std::string_view name);

// ---- signing digest and signature ---------------------------------------------------
// The digest an artefact's signature covers: the raw object as received,
// without its "signature", in canonical form. A non-object fails with
// "{label} must be a JSON object" as `kind`.
ZResult<std::string> artefact_signing_digest(const json::Value& raw, std::string_view label, ErrorKind kind);

// Verifies `sig` over the ASCII bytes of `digest` with `key`, which must be
// of the declared algorithm; every failure is `kind`, labelled:
// "{label} declares ed25519 but no ed25519 registry key was resolved",
// "{label} declares ecdsa-p256 but no p256 registry key was resolved",
// "{label} signature algorithm '{alg}' is not supported",
// "{label} signature: {verifier's display text}".
ZResult<void> verify_artefact_signature(const wire::Signature& sig, std::string_view digest,
                                        const crypto::PublicKey& key, std::string_view label, ErrorKind kind);

// The same with the one key that resolve_signature_key found.
ZResult<void> verify_artefact_signature(const wire::Signature& sig, std::string_view digest,
                                        const did::ResolvedSigningKey& key, std::string_view label, ErrorKind kind);

// ---- consumer clock -------------------------------------------------------------
inline constexpr std::int64_t kDefaultSkewSecs = 120;
// The largest whole-second allowance or age that a signed 64-bit count of
// milliseconds holds; larger ones are refused where they are read.
inline constexpr std::int64_t kMaxDurationSecs = 9'223'372'036'854'775;

// The consumer clock and the clock-skew allowance an artefact time may lie
// ahead of it.
struct ConsumerClock {
  UtcTime now;
  std::int64_t skew_secs;
};

// The clock with an allowance argument (absent: kDefaultSkewSecs). One beyond
// kMaxDurationSecs either way is refused, naming `skew_arg`: no instant
// arithmetic is done with it.
Result<ConsumerClock, ArgumentError> consumer_clock(const UtcTime& now, std::optional<std::int64_t> skew_secs,
                                                    std::string_view skew_arg);

// The same, for artefacts judged against the limit now + skew: an allowance
// that carries the limit outside the calendar range an instant can hold is
// refused as well, naming `skew_arg`, rather than judged against no instant.
Result<ConsumerClock, ArgumentError> bounded_consumer_clock(const UtcTime& now, std::optional<std::int64_t> skew_secs,
                                                            std::string_view skew_arg);

// Whether `t` lies beyond now + skew (a time exactly there still passes).
// Exact and free of overflow for every instant and allowance.
bool beyond_skew(const UtcTime& t, const ConsumerClock& clock);

}  // namespace zelq::registry
