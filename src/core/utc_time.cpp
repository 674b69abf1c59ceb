#include "core/utc_time.hpp"

#include <array>
#include <chrono>
#include <cstdint>

namespace zelq {

namespace {

constexpr std::uint32_t kNanosPerSec = 1'000'000'000u;

// Days since 1970-01-01 of a proleptic Gregorian date (any year that the
// kept range allows; no intermediate value comes near overflow).
constexpr std::int64_t days_from_civil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2 ? 1 : 0;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t mp = m > 2 ? m - 3 : m + 9;
  const std::int64_t doy = (153 * mp + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

using Civil = UtcTime::Date;

constexpr Civil civil_from_days(std::int64_t z) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  const auto d = static_cast<unsigned>(doy - (153 * mp + 2) / 5 + 1);
  const auto m = static_cast<unsigned>(mp < 10 ? mp + 3 : mp - 9);
  return {yoe + era * 400 + (m <= 2 ? 1 : 0), m, d};
}

constexpr bool is_leap_year(std::int64_t y) { return y % 4 == 0 && (y % 100 != 0 || y % 400 == 0); }

constexpr unsigned days_in_month(std::int64_t y, unsigned m) {
  constexpr std::array<unsigned, 12> kDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && is_leap_year(y) ? 29 : kDays[m - 1];
}

constexpr std::int64_t kMinDays = days_from_civil(UtcTime::kMinYear, 1, 1);
constexpr std::int64_t kMaxDays = days_from_civil(UtcTime::kMaxYear, 12, 31);

// Floor division and its non-negative remainder for b > 0, without forming
// q * b (which overflows at the ends of the range).
constexpr std::int64_t floor_div(std::int64_t a, std::int64_t b) { return a / b - (a % b < 0 ? 1 : 0); }
constexpr std::int64_t floor_mod(std::int64_t a, std::int64_t b) { return a % b + (a % b < 0 ? b : 0); }

}  // namespace

// ---- UtcTime -----------------------------------------------------------------

std::optional<UtcTime> UtcTime::make(std::int64_t days, std::int64_t secs, std::uint32_t nanos) {
  // `secs` may run past either end of the day (an offset was applied).
  days += floor_div(secs, 86400);
  secs = floor_mod(secs, 86400);
  if (days < kMinDays || days > kMaxDays) return std::nullopt;
  return UtcTime(days, static_cast<std::uint32_t>(secs), nanos);
}

std::optional<UtcTime> UtcTime::from_civil(std::int64_t year, unsigned month, unsigned day, unsigned hour,
                                           unsigned minute, unsigned second, std::uint32_t nanos) {
  if (year < kMinYear || year > kMaxYear || month < 1 || month > 12 || day < 1 ||
      day > days_in_month(year, month) || hour > 23 || minute > 59 || second > 60 || nanos >= kNanosPerSec) {
    return std::nullopt;
  }
  if (second == 60) {
    second = 59;
    nanos += kNanosPerSec;
  }
  return make(days_from_civil(year, month, day), hour * 3600 + minute * 60 + second, nanos);
}

std::optional<UtcTime> UtcTime::from_unix(std::int64_t secs, std::uint32_t nanos) {
  if (nanos >= kNanosPerSec) return std::nullopt;
  return make(floor_div(secs, 86400), floor_mod(secs, 86400), nanos);
}

std::optional<UtcTime> UtcTime::from_unix_millis(std::int64_t millis) {
  return from_unix(floor_div(millis, 1000), static_cast<std::uint32_t>(floor_mod(millis, 1000)) * 1'000'000u);
}

UtcTime UtcTime::now() {
  using namespace std::chrono;
  const auto ns = duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count();
  // 64-bit nanoseconds reach only a few centuries from 1970: always in range.
  return *from_unix(floor_div(ns, kNanosPerSec), static_cast<std::uint32_t>(floor_mod(ns, kNanosPerSec)));
}

namespace {

// a - b as whole seconds (floored) and a fraction in 0..999,999,999 ns; a
// leap second's extra second counts into the next second.
struct Difference {
  std::int64_t secs;
  std::int64_t nanos;
};

Difference difference(const UtcTime& a, const UtcTime& b) {
  auto split = [](const UtcTime& t) {
    return Difference{t.unix_seconds() + t.nanos() / kNanosPerSec, t.nanos() % kNanosPerSec};
  };
  const Difference x = split(a), y = split(b);
  Difference d{x.secs - y.secs, x.nanos - y.nanos};
  if (d.nanos < 0) {
    d.secs -= 1;
    d.nanos += kNanosPerSec;
  }
  return d;
}

}  // namespace

std::int64_t whole_seconds_between(const UtcTime& a, const UtcTime& b) {
  const Difference d = difference(a, b);
  return d.secs < 0 && d.nanos > 0 ? d.secs + 1 : d.secs;
}

bool later_by_more_than(const UtcTime& a, const UtcTime& b, std::int64_t secs) {
  // The kept year range bounds |a - b| far below 2^63 seconds.
  const Difference d = difference(a, b);
  return d.secs > secs || (d.secs == secs && d.nanos > 0);
}

UtcTime::Date UtcTime::date() const { return civil_from_days(days_); }

}  // namespace zelq
