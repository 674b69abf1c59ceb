#include "core/time_format.hpp"

#include <cstdint>

namespace zelq {

namespace {

constexpr std::uint32_t kNanosPerSec = 1'000'000'000u;

void put_digits(std::string& out, std::uint64_t v, int width) {
  char buf[24];
  int n = 0;
  do {
    buf[n++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0);
  for (int i = n; i < width; ++i) out += '0';
  while (n > 0) out += buf[--n];
}

// No fraction for whole seconds, else the fewest of 3, 6 or 9 digits that
// hold the nanoseconds exactly.
void put_fraction(std::string& out, std::uint32_t n) {
  if (n == 0) return;
  out += '.';
  if (n % 1'000'000u == 0) put_digits(out, n / 1'000'000u, 3);
  else if (n % 1'000u == 0) put_digits(out, n / 1'000u, 6);
  else put_digits(out, n, 9);
}

// "YYYY-MM-DD", `sep`, "HH:MM:SS"; a leap second shows as second 60.
void put_date_time(std::string& out, const UtcTime& t, char sep) {
  const UtcTime::Date c = t.date();
  if (c.year >= 0 && c.year <= 9999) {
    put_digits(out, static_cast<std::uint64_t>(c.year), 4);
  } else {
    out += c.year < 0 ? '-' : '+';
    put_digits(out, static_cast<std::uint64_t>(c.year < 0 ? -c.year : c.year), 4);
  }
  out += '-';
  put_digits(out, c.month, 2);
  out += '-';
  put_digits(out, c.day, 2);
  out += sep;
  put_digits(out, t.hour(), 2);
  out += ':';
  put_digits(out, t.minute(), 2);
  out += ':';
  put_digits(out, t.second() + (t.is_leap_second() ? 1 : 0), 2);
}

}  // namespace

std::string format_rfc3339_millis(const UtcTime& t) {
  std::string out;
  out.reserve(24);
  put_date_time(out, t, 'T');
  out += '.';
  put_digits(out, t.nanos() % kNanosPerSec / 1'000'000u, 3);
  out += 'Z';
  return out;
}

std::string format_rfc3339(const UtcTime& t) {
  std::string out;
  out.reserve(30);
  put_date_time(out, t, 'T');
  put_fraction(out, t.nanos() % kNanosPerSec);
  out += 'Z';
  return out;
}

std::string format_utc_display(const UtcTime& t) {
  std::string out;
  put_date_time(out, t, ' ');
  put_fraction(out, t.nanos() % kNanosPerSec);
  out += " UTC";
  return out;
}

void format_rfc3339_millis(const UtcTime& t, std::string& json_out) {
  json_out += '"';
  json_out += format_rfc3339_millis(t);
  json_out += '"';
}

}  // namespace zelq
