// UTC instants and the protocol's canonical millisecond timestamp
// "YYYY-MM-DDTHH:MM:SS.mmmZ", with the strict RFC 3339 reader that every
// timestamp test and every "now" argument goes through.
#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/json/value.hpp"
#include "core/error.hpp"
#include "core/result.hpp"

namespace zelq {

// A point in UTC: a proleptic Gregorian day, the second of that day
// (0..86399) and a nanosecond fraction. A leap second is second 59 of its
// minute with a fraction of one second or more (so up to 1,999,999,999 ns).
// Years are kept within kMinYear..kMaxYear, which every constructor checks, so
// no arithmetic on an instant can overflow.
class UtcTime {
 public:
  // The epoch, 1970-01-01T00:00:00Z; records start from it before they are read.
  UtcTime() = default;

  static constexpr std::int64_t kMinYear = -262144;
  static constexpr std::int64_t kMaxYear = 262143;

  // Civil fields; nullopt for a date that does not exist, a field out of
  // range, or a year outside the kept range. `second` may be 60 (leap second).
  static std::optional<UtcTime> from_civil(std::int64_t year, unsigned month, unsigned day, unsigned hour,
                                           unsigned minute, unsigned second, std::uint32_t nanos);
  // Seconds since 1970-01-01T00:00:00Z and a fraction below one second.
  static std::optional<UtcTime> from_unix(std::int64_t secs, std::uint32_t nanos);
  // Milliseconds since the epoch, floor division into seconds.
  static std::optional<UtcTime> from_unix_millis(std::int64_t millis);
  // The system's real-time clock at full precision.
  static UtcTime now();

  std::int64_t year() const;
  unsigned month() const;
  unsigned day() const;
  unsigned hour() const { return secs_ / 3600; }
  unsigned minute() const { return secs_ / 60 % 60; }
  unsigned second() const { return secs_ % 60; }  // 59 during a leap second
  std::uint32_t nanos() const { return nanos_; }  // >= 1e9 during a leap second
  bool is_leap_second() const { return nanos_ >= 1'000'000'000u; }

  // The leap second counts as the second it extends.
  std::int64_t unix_seconds() const { return days_ * 86400 + secs_; }
  // Whole milliseconds, the fraction counted in full: a leap second's extra
  // second lands in the next second.
  std::int64_t unix_millis() const { return unix_seconds() * 1000 + nanos_ / 1'000'000u; }

  // The same clock face read at UTC offset `offset_secs` (east positive),
  // moved to UTC; the fraction, a leap second's included, is kept.
  std::optional<UtcTime> minus_offset(std::int32_t offset_secs) const {
    return make(days_, std::int64_t{secs_} - offset_secs, nanos_);
  }

  friend auto operator<=>(const UtcTime&, const UtcTime&) = default;
  friend bool operator==(const UtcTime&, const UtcTime&) = default;

 private:
  static std::optional<UtcTime> make(std::int64_t days, std::int64_t secs, std::uint32_t nanos);
  UtcTime(std::int64_t days, std::uint32_t secs, std::uint32_t nanos) : days_(days), secs_(secs), nanos_(nanos) {}
  std::int64_t days_ = 0;  // since 1970-01-01
  std::uint32_t secs_ = 0;
  std::uint32_t nanos_ = 0;
};

// Time differences of artefact checks, exact to the nanosecond and free of
// overflow for every pair of instants and every 64-bit second count.
// a - b in whole seconds, truncated toward zero (-0.5 s gives 0).
std::int64_t whole_seconds_between(const UtcTime& a, const UtcTime& b);
// Whether a lies strictly more than `secs` seconds after b; a negative count
// asks whether a lies less than |secs| seconds before b.
bool later_by_more_than(const UtcTime& a, const UtcTime& b, std::int64_t secs);

// Why a date-time text was refused; the texts are the ones hosts see.
enum class TimeParseError : std::uint8_t {
  OutOfRange,
  Impossible,
  NotEnough,
  Invalid,
  TooShort,
  TooLong,
  BadFormat,
};

std::string_view time_parse_message(TimeParseError e);

// Strict RFC 3339: "YYYY-MM-DD", "T"/"t"/" ", "HH:MM:SS", optional "." and one
// or more digits (the first nine count), then "Z"/"z" or a numeric offset
// "+HH:MM" / "-HH:MM" / U+2212 "HH:MM" below 24 hours; nothing after it.
// Second 60 is a leap second. The result is the instant in UTC.
Result<UtcTime, TimeParseError> parse_rfc3339(std::string_view text);

// The relaxed reading of the date-times inside publish records. Beyond the
// strict form it takes white space before every number, around the separators
// and before the offset, one- and two-digit fields, a signed year of any
// length, the offset "UTC" in any letter case, colons or white space between
// the offset's hours and minutes, and white space after the text.
Result<UtcTime, TimeParseError> parse_rfc3339_relaxed(std::string_view text);

// "YYYY-MM-DDTHH:MM:SS", then no fraction, or 3, 6 or 9 digits (the fewest
// that hold the nanoseconds exactly), then "Z"; 60 in the seconds field
// during a leap second.
std::string format_rfc3339(const UtcTime& t);

// A method's date-time argument named `name`: a strict RFC 3339 date-time at
// any offset, as the UTC instant; "invalid {name} '{text}': {reader message}"
// otherwise.
Result<UtcTime, ArgumentError> rfc3339_argument(std::string_view text, std::string_view name);

// A method's optional "now" argument. Absent: the system clock at full
// precision. Present: a strict RFC 3339 date-time at any offset, as the UTC
// instant; "invalid now_rfc3339 '{text}': {reader message}" otherwise.
Result<UtcTime, ArgumentError> now_or_rfc3339_argument(std::optional<std::string_view> text);

// The canonical text "%Y-%m-%dT%H:%M:%S%.3fZ": milliseconds truncated, never
// rounded; 60 in the seconds field during a leap second. A year outside
// 0000..9999 (reachable only by moving an extreme time to UTC) is written
// with its sign and at least four digits.
std::string format_rfc3339_millis(const UtcTime& t);
// The human form "YYYY-MM-DD HH:MM:SS[.fff|.ffffff|.fffffffff] UTC": no
// fraction for a whole second, else the fewest of 3, 6 or 9 digits that hold it.
std::string format_utc_display(const UtcTime& t);
// Stream form: appends the text as a JSON string (it needs no escaping).
void format_rfc3339_millis(const UtcTime& t, std::string& json_out);
// Value form.
json::Value rfc3339_millis_value(const UtcTime& t);

// Exactly the canonical 24-byte shape of an existing UTC date and time.
bool is_canonical_ms_timestamp(std::string_view text);
// The instant when `text` is exactly its own canonical rendering.
std::optional<UtcTime> parse_canonical_ms_timestamp(std::string_view text);

// A copy of `v` in which every string that is an RFC 3339 date-time with a
// sub-millisecond part is replaced by its canonical text in UTC (truncated);
// every other string, every key and every other value stays as it was.
json::Value truncate_timestamps_ms(const json::Value& v);
// The instant a string stands for when it is such a date-time, truncated to
// the millisecond; nothing for every other string.
std::optional<UtcTime> truncated_timestamp(std::string_view text);

}  // namespace zelq
