// What every registry artefact's time members share: the raw text held to
// the canonical millisecond form, the instant held to whole milliseconds, and
// the consumer clock with the skew allowance that freshness is judged by.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "core/error.hpp"
#include "core/json/value.hpp"
#include "core/timestamp.hpp"

namespace zelq::registry {

// ---- time members -----------------------------------------------------------
// The raw text of the time member `name` of `holder` (none when `holder` is
// null or not an object), which must be a canonical millisecond timestamp
// whatever the record read from it. Fails as `kind` with
// "{subject} missing or not a string", or with
// "{subject} '{text}' is not canonical millisecond-precision RFC 3339 UTC
// (`YYYY-MM-DDTHH:MM:SS.mmmZ`, {refs})".
ZResult<void> check_canonical_time_member(const json::Value* holder, std::string_view name, std::string_view subject,
                                          std::string_view refs, ErrorKind kind);
// The same rule for a raw text already looked up (null: missing or not a
// string), as the readers that work on the text itself have it.
ZResult<void> check_canonical_time_text(const std::string* raw, std::string_view subject, std::string_view refs,
                                        ErrorKind kind);

// An instant an artefact is judged by carries no digits below the
// millisecond: "{subject} is not millisecond-truncated (RFC-ZELQ-0001 §5.3)"
// as `kind` otherwise.
ZResult<void> check_millisecond_truncated(const UtcTime& t, std::string_view subject, ErrorKind kind);

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

// The clock with an allowance argument (absent: kDefaultSkewSecs), for
// artefacts judged against the limit now + skew. Every method that takes an
// allowance reads it here, so all refuse the same allowances the same way,
// naming `skew_arg`: one beyond kMaxDurationSecs either way, and one that
// carries the limit outside the calendar range an instant can hold (an
// artefact would otherwise be judged against no instant at all).
Result<ConsumerClock, ArgumentError> bounded_consumer_clock(const UtcTime& now, std::optional<std::int64_t> skew_secs,
                                                            std::string_view skew_arg);

// The clock from a method's two arguments: the consumer clock as RFC 3339
// text (absent: the system clock), then its allowance, read as above.
Result<ConsumerClock, ArgumentError> consumer_clock_arguments(std::optional<std::string_view> now_text,
                                                              std::optional<std::int64_t> skew_secs,
                                                              std::string_view skew_arg);

// Whether `t` lies beyond now + skew (a time exactly there still passes).
// Exact and free of overflow for every instant and allowance.
bool beyond_skew(const UtcTime& t, const ConsumerClock& clock);

}  // namespace zelq::registry
