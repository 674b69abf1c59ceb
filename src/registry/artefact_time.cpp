#include "registry/artefact_time.hpp"

#include <string>

#include "registry/artefact.hpp"

namespace zelq::registry {

ZResult<void> check_canonical_time_member(const json::Value* holder, std::string_view name, std::string_view subject,
                                          std::string_view refs, ErrorKind kind) {
  return check_canonical_time_text(holder ? raw_string_member(*holder, name) : nullptr, subject, refs, kind);
}

ZResult<void> check_canonical_time_text(const std::string* raw, std::string_view subject, std::string_view refs,
                                        ErrorKind kind) {
  if (!raw) return fail(ZelqError::text(kind, std::string(subject) + " missing or not a string"));
  if (is_canonical_ms_timestamp(*raw)) return {};
  return fail(ZelqError::text(kind, not_canonical_ms_message(subject, *raw, refs)));
}

ZResult<void> check_millisecond_truncated(const UtcTime& t, std::string_view subject, ErrorKind kind) {
  if (is_whole_millisecond(t)) return {};
  return fail(
      ZelqError::text(kind, std::string(subject) + " is not millisecond-truncated (RFC-ZELQ-0001 \u00a7" "5.3)"));
}

Result<ConsumerClock, ArgumentError> bounded_consumer_clock(const UtcTime& now, std::optional<std::int64_t> skew_secs,
                                                            std::string_view skew_arg) {
  const std::int64_t skew = skew_secs.value_or(kDefaultSkewSecs);
  if (skew > kMaxDurationSecs || skew < -kMaxDurationSecs) {
    return fail(ArgumentError{std::string(skew_arg) + " " + std::to_string(skew) +
                              " is outside the representable time span of \u00b1" + std::to_string(kMaxDurationSecs) +
                              " seconds"});
  }
  // Both terms are far inside 64 bits: the kept years span about 1.7e13
  // seconds and the allowance is at most about 9.2e15. A leap second's extra
  // second is carried into the count.
  const std::int64_t limit_secs = now.unix_seconds() + skew + (now.is_leap_second() ? 1 : 0);
  if (!UtcTime::from_unix(limit_secs, now.nanos() % 1'000'000'000u)) {
    return fail(ArgumentError{std::string(skew_arg) + " " + std::to_string(skew) +
                              " puts the clock-skew limit outside the representable time range (consumer clock '" +
                              format_rfc3339_millis(now) + "')"});
  }
  return ConsumerClock{now, skew};
}

Result<ConsumerClock, ArgumentError> consumer_clock_arguments(std::optional<std::string_view> now_text,
                                                              std::optional<std::int64_t> skew_secs,
                                                              std::string_view skew_arg) {
  auto now = now_or_rfc3339_argument(now_text);
  if (!now) return fail(std::move(now).error());
  return bounded_consumer_clock(*now, skew_secs, skew_arg);
}

bool beyond_skew(const UtcTime& t, const ConsumerClock& clock) {
  return later_by_more_than(t, clock.now, clock.skew_secs);
}

}  // namespace zelq::registry
