#include "core/rfc3339_relaxed.hpp"

#include <cstdint>

#include "core/ascii.hpp"

namespace zelq {

namespace {

using ascii::is_digit;

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

// White space, then 1..2 digits within [lo, hi].
RN relaxed_field(std::string_view& s, std::int64_t lo, std::int64_t hi) {
  trim_space(s);
  auto r = read_rfc3339_digits(s, 1, 2);
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
    auto r = read_rfc3339_digits(s, 1, SIZE_MAX);
    if (!r) return r;
    const std::int64_t y = negative ? -*r : *r;
    if (y < INT32_MIN || y > INT32_MAX) return fail(TimeParseError::OutOfRange);
    return y;
  }
  return read_rfc3339_digits(s, 1, 4);
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
  ZELQ_TRY_ASSIGN(year, relaxed_year(s));
  ZELQ_TRY(relaxed_literal(s, '-'));
  ZELQ_TRY_ASSIGN(month, relaxed_field(s, 1, 12));
  ZELQ_TRY(relaxed_literal(s, '-'));
  ZELQ_TRY_ASSIGN(day, relaxed_field(s, 1, 31));
  if (s.empty()) return fail(TimeParseError::TooShort);
  if (s.front() != 'T' && s.front() != 't' && s.front() != ' ') return fail(TimeParseError::Invalid);
  s.remove_prefix(1);
  ZELQ_TRY_ASSIGN(hour, relaxed_field(s, 0, 23));
  ZELQ_TRY(relaxed_literal(s, ':'));
  ZELQ_TRY_ASSIGN(minute, relaxed_field(s, 0, 59));
  ZELQ_TRY(relaxed_literal(s, ':'));
  ZELQ_TRY_ASSIGN(second, relaxed_field(s, 0, 60));
  std::uint32_t nanos = 0;
  if (s.starts_with('.')) {
    s.remove_prefix(1);
    ZELQ_TRY_ASSIGN(frac, read_rfc3339_fraction(s));
    nanos = frac;
  }
  trim_space(s);
  std::int64_t offset = 0;
  if (s.size() >= 3 && (s[0] | 0x20) == 'u' && (s[1] | 0x20) == 't' && (s[2] | 0x20) == 'c') {
    s.remove_prefix(3);
  } else {
    ZELQ_TRY_ASSIGN(off, relaxed_offset(s));
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

}  // namespace zelq
