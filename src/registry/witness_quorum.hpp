// Counting a quorum of trusted witnesses over one checkpoint: which trusted
// witnesses cosigned it validly, whether they reach the policy's minimum, and
// how many of them saw it recently enough.
#pragma once

#include <deque>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/error.hpp"
#include "core/json/value.hpp"
#include "core/result.hpp"
#include "core/timestamp.hpp"
#include "registry/artefact.hpp"

namespace zelq::registry {

struct WitnessPolicy {
  std::uint32_t min_witnesses = 1;
  std::optional<std::int64_t> max_age_secs = 300;  // none: no freshness limit
  std::int64_t max_clock_skew_secs = 120;
  bool operator==(const WitnessPolicy&) const = default;
};

// How an object argument of the quorum is read: keeping only what its reader
// looks at, as the method does, or whole, which the fuzzers hold it to.
enum class ArgumentReading : std::uint8_t { Pruned, Whole };

// The arguments of the quorum method, each with the whole message of its
// ValueError when it lacks its form.
// A JSON array of any values: "invalid cosignatures JSON (array): {reader}".
// The cosignatures as given, read for their form only: each is read into a
// value when its turn comes, so that a long list of anything costs no more
// than its text. The text must outlive it.
struct CosignatureList {
  std::string_view text;
};
Result<CosignatureList, ArgumentError> cosignatures_argument(std::string_view text);
// A JSON array of strings: "invalid trusted_witness_dids JSON (array): {reader}".
// The DIDs are kept sorted and without repeats, for lookups: views into the
// text (which must outlive them), or into `decoded` for those written with
// escapes. Room for them is made once, from the text's length, so a long
// list costs a view an entry and no copy while it grows.
struct TrustedWitnesses {
  std::vector<std::string_view> sorted;
  std::deque<std::string> decoded;
  bool contains(std::string_view did) const;
};
Result<TrustedWitnesses, ArgumentError> trusted_witness_dids_argument(std::string_view text);
// A JSON object keyed by witness_id.
Result<json::Object, ArgumentError> witness_did_docs_argument(std::string_view text,
                                                              ArgumentReading reading = ArgumentReading::Pruned);
// The policy object's three members (others ignored). Durations above
// kMaxDurationSecs are refused by name, since no duration can hold them.
Result<WitnessPolicy, ArgumentError> witness_policy_argument(std::string_view text,
                                                             ArgumentReading reading = ArgumentReading::Pruned);

// The consumer clock with the policy's allowance, held to the same bounds as
// every other allowance and refused under the name
// "policy.max_clock_skew_secs".
Result<ConsumerClock, ArgumentError> quorum_clock(const WitnessPolicy& policy, const UtcTime& now);

// The report {"witnessed_count","witnesses","meets_quorum",
// "fresh_witnessed_count","meets_fresh_quorum","failures"} as compact JSON.
// Fails only when the expected checkpoint does; failing cosignatures of
// trusted witnesses are listed in the report. `clock` carries the policy's
// max_clock_skew_secs (see quorum_clock).
ZResult<std::string> evaluate_witness_quorum(const CosignatureList& cosignatures,
                                             const json::Value& expected_checkpoint,
                                             const TrustedWitnesses& trusted_witness_dids,
                                             const json::Object& witness_did_docs, const WitnessPolicy& policy,
                                             const ConsumerClock& clock);

}  // namespace zelq::registry
