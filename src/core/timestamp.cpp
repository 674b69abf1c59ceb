#include "core/timestamp.hpp"

#include "core/ascii.hpp"

#include <array>
#include <cstdint>
#include <chrono>

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

struct Civil {
  std::int64_t year;
  unsigned month;
  unsigned day;
};

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

std::int64_t UtcTime::year() const { return civil_from_days(days_).year; }
unsigned UtcTime::month() const { return civil_from_days(days_).month; }
unsigned UtcTime::day() const { return civil_from_days(days_).day; }

// ---- reading -------------------------------------------------------------------

std::string_view time_parse_message(TimeParseError e) {
  static constexpr std::array<std::string_view, 7> kTexts = {
      "input is out of range",
      "no possible date and time matching input",
      "input is not enough for unique date and time",
      "input contains invalid characters",
      "premature end of input",
      "trailing input",
      "bad or unsupported format string",
  };
  return kTexts[static_cast<std::size_t>(e)];
}

namespace {

using TP = Result<std::uint32_t, TimeParseError>;

using ascii::is_digit;

// A cursor over the date-time fields. A field
// with too few bytes left is "premature end", a wrong byte is "invalid", a
// well-formed field with an impossible value is "out of range".
class Scanner {
 public:
  explicit Scanner(std::string_view s) : s_(s) {}

  // min..max ASCII digits (max <= 9, so the value fits).
  TP number(std::size_t min, std::size_t max) {
    if (s_.size() < min) return fail(TimeParseError::TooShort);
    std::uint32_t n = 0;
    std::size_t i = 0;
    for (; i < max && i < s_.size(); ++i) {
      if (!is_digit(s_[i])) {
        if (i < min) return fail(TimeParseError::Invalid);
        break;
      }
      n = n * 10 + static_cast<std::uint32_t>(s_[i] - '0');
    }
    s_.remove_prefix(i);
    return n;
  }

  TP field(std::size_t width, std::uint32_t lo, std::uint32_t hi) {
    auto r = number(width, width);
    if (r && (*r < lo || *r > hi)) return fail(TimeParseError::OutOfRange);
    return r;
  }

  Result<void, TimeParseError> byte(char c) {
    if (s_.empty()) return fail(TimeParseError::TooShort);
    if (s_.front() != c) return fail(TimeParseError::Invalid);
    s_.remove_prefix(1);
    return {};
  }

  // "." then 1..9 digits scaled to nanoseconds; further digits are skipped.
  TP fraction() {
    const std::size_t before = s_.size();
    auto r = number(1, 9);
    if (!r) return r;
    static constexpr std::array<std::uint32_t, 10> kScale = {0,         100'000'000, 10'000'000, 1'000'000, 100'000,
                                                             10'000,    1'000,       100,        10,        1};
    const std::uint32_t nanos = *r * kScale[before - s_.size()];
    while (!s_.empty() && is_digit(s_.front())) s_.remove_prefix(1);
    return nanos;
  }

  // "Z", "z", or sign HH ":" MM; seconds east of UTC.
  Result<std::int32_t, TimeParseError> offset() {
    if (s_.empty()) return fail(TimeParseError::TooShort);
    if (s_.front() == 'Z' || s_.front() == 'z') {
      s_.remove_prefix(1);
      return 0;
    }
    bool negative;
    if (s_.front() == '+') {
      negative = false;
      s_.remove_prefix(1);
    } else if (s_.front() == '-') {
      negative = true;
      s_.remove_prefix(1);
    } else if (s_.starts_with("\xE2\x88\x92")) {  // U+2212 MINUS SIGN
      negative = true;
      s_.remove_prefix(3);
    } else {
      return fail(TimeParseError::Invalid);
    }
    if (s_.size() < 2) return fail(TimeParseError::TooShort);
    if (!is_digit(s_[0]) || !is_digit(s_[1])) return fail(TimeParseError::Invalid);
    const int hours = (s_[0] - '0') * 10 + (s_[1] - '0');
    s_.remove_prefix(2);
    auto colon = byte(':');
    if (!colon) return fail(colon.error());
    if (s_.size() < 2) return fail(TimeParseError::TooShort);
    if (!is_digit(s_[1])) return fail(TimeParseError::Invalid);
    if (s_[0] >= '6' && s_[0] <= '9') return fail(TimeParseError::OutOfRange);
    if (s_[0] < '0' || s_[0] > '5') return fail(TimeParseError::Invalid);
    const int minutes = (s_[0] - '0') * 10 + (s_[1] - '0');
    s_.remove_prefix(2);
    const int secs = hours * 3600 + minutes * 60;
    if (secs > (23 * 60 + 59) * 60) return fail(TimeParseError::OutOfRange);
    return negative ? -secs : secs;
  }

  std::string_view rest() const { return s_; }
  void skip(std::size_t n) { s_.remove_prefix(n); }

 private:
  std::string_view s_;
};

#define ZELQ_TIME_TRY(var, expr)                    \
  auto var##_r = (expr);                            \
  if (!var##_r) return fail(var##_r.error());       \
  auto var = *var##_r

}  // namespace

Result<UtcTime, TimeParseError> parse_rfc3339(std::string_view text) {
  Scanner sc(text);
  ZELQ_TIME_TRY(year, sc.number(4, 4));
  ZELQ_TRY(sc.byte('-'));
  ZELQ_TIME_TRY(month, sc.field(2, 1, 12));
  ZELQ_TRY(sc.byte('-'));
  ZELQ_TIME_TRY(day, sc.field(2, 1, 31));
  if (sc.rest().empty()) return fail(TimeParseError::TooShort);
  const char sep = sc.rest().front();
  if (sep != 'T' && sep != 't' && sep != ' ') return fail(TimeParseError::Invalid);
  sc.skip(1);
  ZELQ_TIME_TRY(hour, sc.field(2, 0, 23));
  ZELQ_TRY(sc.byte(':'));
  ZELQ_TIME_TRY(minute, sc.field(2, 0, 59));
  ZELQ_TRY(sc.byte(':'));
  ZELQ_TIME_TRY(second, sc.field(2, 0, 60));
  std::uint32_t nanos = 0;
  if (sc.rest().starts_with('.')) {
    sc.skip(1);
    ZELQ_TIME_TRY(frac, sc.fraction());
    nanos = frac;
  }
  ZELQ_TIME_TRY(offset, sc.offset());
  if (!sc.rest().empty()) return fail(TimeParseError::TooLong);

  // All fields are in range; only the day of the month can still be wrong.
  auto local = UtcTime::from_civil(year, month, day, hour, minute, second, nanos);
  if (!local) return fail(TimeParseError::OutOfRange);
  // A four-digit year moved by less than a day stays far inside the kept
  // range; the check stays for the type's sake.
  auto utc = local->minus_offset(offset);
  if (!utc) return fail(TimeParseError::Impossible);
  return *utc;
}

// ---- relaxed reading -------------------------------------------------------------

namespace {

// Bytes of one Unicode White_Space character at the front of `s`, or 0.
std::size_t space_len(std::string_view s) {
  if (s.empty()) return 0;
  const auto b = [&](std::size_t i) { return i < s.size() ? static_cast<unsigned char>(s[i]) : 0u; };
  const unsigned c0 = b(0);
  if (c0 == ' ' || (c0 >= 0x09 && c0 <= 0x0d)) return 1;
  if (c0 == 0xc2 && (b(1) == 0x85 || b(1) == 0xa0)) return 2;
  if (c0 == 0xe1 && b(1) == 0x9a && b(2) == 0x80) return 3;  // U+1680
  if (c0 == 0xe2 && b(1) == 0x80 && (b(2) <= 0x8a || b(2) == 0xa8 || b(2) == 0xa9 || b(2) == 0xaf) &&
      b(2) >= 0x80)
    return 3;  // U+2000..U+200A, U+2028, U+2029, U+202F
  if (c0 == 0xe2 && b(1) == 0x81 && b(2) == 0x9f) return 3;  // U+205F
  if (c0 == 0xe3 && b(1) == 0x80 && b(2) == 0x80) return 3;  // U+3000
  return 0;
}

void trim_space(std::string_view& s) {
  while (std::size_t n = space_len(s)) s.remove_prefix(n);
}

using RN = Result<std::int64_t, TimeParseError>;

// min..max ASCII digits; a value past 64 bits is out of range.
RN relaxed_number(std::string_view& s, std::size_t min, std::size_t max) {
  if (s.size() < min) return fail(TimeParseError::TooShort);
  std::int64_t n = 0;
  std::size_t i = 0;
  for (; i < max && i < s.size(); ++i) {
    if (!is_digit(s[i])) {
      if (i < min) return fail(TimeParseError::Invalid);
      break;
    }
    const int d = s[i] - '0';
    if (n > (INT64_MAX - d) / 10) return fail(TimeParseError::OutOfRange);
    n = n * 10 + d;
  }
  s.remove_prefix(i);
  return n;
}

// White space, then 1..2 digits within [lo, hi].
RN relaxed_field(std::string_view& s, std::int64_t lo, std::int64_t hi) {
  trim_space(s);
  auto r = relaxed_number(s, 1, 2);
  if (r && (*r < lo || *r > hi)) return fail(TimeParseError::OutOfRange);
  return r;
}

// White space, then the literal byte.
Result<void, TimeParseError> relaxed_literal(std::string_view& s, char c) {
  trim_space(s);
  if (s.empty()) return fail(TimeParseError::TooShort);
  if (s.front() != c) return fail(TimeParseError::Invalid);
  s.remove_prefix(1);
  return {};
}

RN relaxed_year(std::string_view& s) {
  trim_space(s);
  const bool negative = s.starts_with('-');
  if (negative || s.starts_with('+')) {
    s.remove_prefix(1);
    auto r = relaxed_number(s, 1, SIZE_MAX);
    if (!r) return r;
    const std::int64_t y = negative ? -*r : *r;
    if (y < INT32_MIN || y > INT32_MAX) return fail(TimeParseError::OutOfRange);
    return y;
  }
  return relaxed_number(s, 1, 4);
}

// "Z"/"z", or a sign ("+", "-", U+2212), two hour digits, any run of ":" and
// white space, two minute digits. Seconds east of UTC, unchecked in range.
RN relaxed_offset(std::string_view& s) {
  if (s.starts_with('Z') || s.starts_with('z')) {
    s.remove_prefix(1);
    return 0;
  }
  bool negative = true;
  if (s.starts_with('+')) {
    negative = false;
    s.remove_prefix(1);
  } else if (s.starts_with('-')) {
    s.remove_prefix(1);
  } else if (s.starts_with("\xE2\x88\x92")) {
    s.remove_prefix(3);
  } else {
    return fail(s.empty() ? TimeParseError::TooShort : TimeParseError::Invalid);
  }
  if (s.size() < 2) return fail(TimeParseError::TooShort);
  if (!is_digit(s[0]) || !is_digit(s[1])) return fail(TimeParseError::Invalid);
  const std::int64_t hours = (s[0] - '0') * 10 + (s[1] - '0');
  s.remove_prefix(2);
  for (;;) {
    if (s.starts_with(':')) s.remove_prefix(1);
    else if (std::size_t n = space_len(s)) s.remove_prefix(n);
    else break;
  }
  if (s.size() < 2) return fail(TimeParseError::TooShort);
  if (!is_digit(s[1]) || !is_digit(s[0])) return fail(TimeParseError::Invalid);
  if (s[0] > '5') return fail(TimeParseError::OutOfRange);
  const std::int64_t minutes = (s[0] - '0') * 10 + (s[1] - '0');
  s.remove_prefix(2);
  const std::int64_t secs = hours * 3600 + minutes * 60;
  return negative ? -secs : secs;
}

}  // namespace

Result<UtcTime, TimeParseError> parse_rfc3339_relaxed(std::string_view text) {
  std::string_view s = text;
  ZELQ_TIME_TRY(year, relaxed_year(s));
  ZELQ_TRY(relaxed_literal(s, '-'));
  ZELQ_TIME_TRY(month, relaxed_field(s, 1, 12));
  ZELQ_TRY(relaxed_literal(s, '-'));
  ZELQ_TIME_TRY(day, relaxed_field(s, 1, 31));
  if (s.empty()) return fail(TimeParseError::TooShort);
  if (s.front() != 'T' && s.front() != 't' && s.front() != ' ') return fail(TimeParseError::Invalid);
  s.remove_prefix(1);
  ZELQ_TIME_TRY(hour, relaxed_field(s, 0, 23));
  ZELQ_TRY(relaxed_literal(s, ':'));
  ZELQ_TIME_TRY(minute, relaxed_field(s, 0, 59));
  ZELQ_TRY(relaxed_literal(s, ':'));
  ZELQ_TIME_TRY(second, relaxed_field(s, 0, 60));
  std::uint32_t nanos = 0;
  if (s.starts_with('.')) {
    s.remove_prefix(1);
    Scanner sc(s);
    ZELQ_TIME_TRY(frac, sc.fraction());
    nanos = frac;
    s = sc.rest();
  }
  trim_space(s);
  std::int64_t offset = 0;
  if (s.size() >= 3 && (s[0] | 0x20) == 'u' && (s[1] | 0x20) == 't' && (s[2] | 0x20) == 'c') {
    s.remove_prefix(3);
  } else {
    ZELQ_TIME_TRY(off, relaxed_offset(s));
    offset = off;
  }
  trim_space(s);
  if (!s.empty()) return fail(TimeParseError::TooLong);

  auto local = UtcTime::from_civil(year, static_cast<unsigned>(month), static_cast<unsigned>(day),
                                   static_cast<unsigned>(hour), static_cast<unsigned>(minute),
                                   static_cast<unsigned>(second), nanos);
  if (!local) return fail(TimeParseError::OutOfRange);
  if (offset <= -86400 || offset >= 86400) return fail(TimeParseError::OutOfRange);
  auto utc = local->minus_offset(static_cast<std::int32_t>(offset));
  if (!utc) return fail(TimeParseError::Impossible);
  return *utc;
}

// ---- writing -------------------------------------------------------------------

namespace {

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
  const Civil c = civil_from_days(floor_div(t.unix_seconds(), 86400));
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

json::Value rfc3339_millis_value(const UtcTime& t) { return json::Value(format_rfc3339_millis(t)); }

// ---- canonical tests -------------------------------------------------------------

bool is_canonical_ms_timestamp(std::string_view text) {
  // The fixed positions and the strict grammar together leave only the
  // canonical shape; the parse proves that the date and time exist.
  return text.size() == 24 && text[10] == 'T' && text[19] == '.' && text[23] == 'Z' && is_digit(text[20]) &&
         is_digit(text[21]) && is_digit(text[22]) && parse_rfc3339(text).ok();
}

std::optional<UtcTime> parse_canonical_ms_timestamp(std::string_view text) {
  auto t = parse_rfc3339(text);
  if (!t || format_rfc3339_millis(*t) != text) return std::nullopt;
  return *t;
}

// ---- truncation ------------------------------------------------------------------

namespace {

json::Value truncate_string(const std::string& s) {
  auto truncated = truncated_timestamp(s);
  return truncated ? rfc3339_millis_value(*truncated) : json::Value(s);
}

}  // namespace

std::optional<UtcTime> truncated_timestamp(std::string_view text) {
  auto t = parse_rfc3339(text);
  // Not a date-time, or already whole milliseconds: kept exactly as written.
  if (!t || t->nanos() % 1'000'000u == 0) return std::nullopt;
  auto truncated = UtcTime::from_unix_millis(t->unix_millis());
  if (!truncated) return std::nullopt;  // unreachable for four-digit years
  return *truncated;
}

// Recursion is bounded by the depth of the value, which the JSON reader caps.
json::Value truncate_timestamps_ms(const json::Value& v) {
  switch (v.type()) {
    case json::Type::Object: {
      json::Object out;
      out.reserve(v.as_object().size());
      for (const auto& m : v.as_object()) out.insert(m.key, truncate_timestamps_ms(m.value));
      return json::Value(std::move(out));
    }
    case json::Type::Array: {
      json::Array out;
      out.reserve(v.as_array().size());
      for (const auto& e : v.as_array()) out.push_back(truncate_timestamps_ms(e));
      return json::Value(std::move(out));
    }
    case json::Type::String:
      return truncate_string(v.as_string());
    default:
      return v;
  }
}

Result<UtcTime, ArgumentError> rfc3339_argument(std::string_view text, std::string_view name) {
  auto t = parse_rfc3339(text);
  if (!t) {
    std::string msg = "invalid ";
    msg.append(name).append(" '").append(text).append("': ").append(time_parse_message(t.error()));
    return fail(ArgumentError{std::move(msg)});
  }
  return *t;
}

Result<UtcTime, ArgumentError> now_or_rfc3339_argument(std::optional<std::string_view> text) {
  if (!text) return UtcTime::now();
  return rfc3339_argument(*text, "now_rfc3339");
}

}  // namespace zelq
