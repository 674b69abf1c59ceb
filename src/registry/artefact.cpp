#include "registry/artefact.hpp"

#include "core/content_hash.hpp"

namespace zelq::registry {

const std::string* raw_string_member(const json::Value& v, std::string_view name) {
  const json::Value* m = v.get(name);
  return m && m->is_string() ? &m->as_string() : nullptr;
}

ZResult<std::string> artefact_signing_digest(const json::Value& raw, std::string_view label, ErrorKind kind) {
  if (!raw.is_object()) return fail(ZelqError::text(kind, std::string(label) + " must be a JSON object"));
  return signing_digest(raw.as_object());
}

ZResult<void> verify_artefact_signature(const wire::Signature& sig, std::string_view digest,
                                        const crypto::PublicKey& key, std::string_view label, ErrorKind kind) {
  const std::string l(label);
  const auto algorithm = crypto::algorithm_from_name(sig.algorithm);
  if (!algorithm) return fail(ZelqError::text(kind, l + " signature algorithm '" + sig.algorithm + "' is not supported"));
  if (*algorithm != crypto::key_algorithm(key)) {
    const std::string_view short_name = *algorithm == crypto::KeyAlgorithm::Ed25519 ? "ed25519" : "p256";
    return fail(ZelqError::text(kind, l + " declares " + sig.algorithm + " but no " + std::string(short_name) +
                                          " registry key was resolved"));
  }
  auto verdict = crypto::verify_signature(key, sig.value, digest);
  if (!verdict) return fail(ZelqError::text(kind, l + " signature: " + verdict.error().display()));
  return {};
}

ZResult<void> verify_artefact_signature(const wire::Signature& sig, std::string_view digest,
                                        const did::ResolvedSigningKey& key, std::string_view label, ErrorKind kind) {
  return verify_artefact_signature(sig, digest, key.key, label, kind);
}

Result<ConsumerClock, ArgumentError> consumer_clock(const UtcTime& now, std::optional<std::int64_t> skew_secs,
                                                    std::string_view skew_arg) {
  const std::int64_t skew = skew_secs.value_or(kDefaultSkewSecs);
  if (skew > kMaxDurationSecs || skew < -kMaxDurationSecs) {
    return fail(ArgumentError{std::string(skew_arg) + " " + std::to_string(skew) +
                              " is outside the representable time span of \u00b1" + std::to_string(kMaxDurationSecs) +
                              " seconds"});
  }
  return ConsumerClock{now, skew};
}

Result<ConsumerClock, ArgumentError> bounded_consumer_clock(const UtcTime& now, std::optional<std::int64_t> skew_secs,
                                                            std::string_view skew_arg) {
  auto clock = consumer_clock(now, skew_secs, skew_arg);
  if (!clock) return clock;
  // Both terms are far inside 64 bits: the kept years span about 1.7e13
  // seconds and the allowance is at most about 9.2e15. A leap second's extra
  // second is carried into the count.
  const std::uint32_t nanos = now.nanos();
  const std::int64_t limit_secs = now.unix_seconds() + clock->skew_secs + (now.is_leap_second() ? 1 : 0);
  if (!UtcTime::from_unix(limit_secs, nanos % 1'000'000'000u)) {
    return fail(ArgumentError{std::string(skew_arg) + " " + std::to_string(clock->skew_secs) +
                              " puts the clock-skew limit outside the representable time range (consumer clock '" +
                              format_rfc3339_millis(now) + "')"});
  }
  return clock;
}

bool beyond_skew(const UtcTime& t, const ConsumerClock& clock) {
  return later_by_more_than(t, clock.now, clock.skew_secs);
}

}  // namespace zelq::registry
