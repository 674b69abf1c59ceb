// The UTC instant every time of the system is held as: a proleptic Gregorian
// calendar with leap seconds, the system clock, and exact differences.
#pragma once

#include <compare>
#include <cstdint>
#include <optional>

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

  // The calendar date, read from the day count in one step.
  struct Date {
    std::int64_t year;
    unsigned month;
    unsigned day;
  };
  Date date() const;
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

}  // namespace zelq
