#include "core/rfc3339.hpp"

#include <array>
#include <cstdint>
#include <string>

#include "core/ascii.hpp"

namespace zelq {

std::string_view time_parse_message(TimeParseError e) {
  static constexpr std::array<std::string_view, 5> kTexts = {
      "input is out of range",
      "no possible date and time matching input",
      "input contains invalid characters",
      "premature end of input",
      "trailing input",
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
    auto r = read_rfc3339_digits(s_, min, max);
    if (!r) return fail(r.error());
    return static_cast<std::uint32_t>(*r);
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

  TP fraction() { return read_rfc3339_fraction(s_); }

  std::string_view rest() const { return s_; }
  void skip(std::size_t n) { s_.remove_prefix(n); }

 private:
  std::string_view s_;
};

}  // namespace

Result<UtcTime, TimeParseError> parse_rfc3339(std::string_view text) {
  Scanner sc(text);
  ZELQ_TRY_ASSIGN(year, sc.number(4, 4));
  ZELQ_TRY(sc.byte('-'));
  ZELQ_TRY_ASSIGN(month, sc.field(2, 1, 12));
  ZELQ_TRY(sc.byte('-'));
  ZELQ_TRY_ASSIGN(day, sc.field(2, 1, 31));
  if (sc.rest().empty()) return fail(TimeParseError::TooShort);
  const char sep = sc.rest().front();
  if (sep != 'T' && sep != 't' && sep != ' ') return fail(TimeParseError::Invalid);
  sc.skip(1);
  ZELQ_TRY_ASSIGN(hour, sc.field(2, 0, 23));
  ZELQ_TRY(sc.byte(':'));
  ZELQ_TRY_ASSIGN(minute, sc.field(2, 0, 59));
  ZELQ_TRY(sc.byte(':'));
  ZELQ_TRY_ASSIGN(second, sc.field(2, 0, 60));
  std::uint32_t nanos = 0;
  if (sc.rest().starts_with('.')) {
    sc.skip(1);
    ZELQ_TRY_ASSIGN(frac, sc.fraction());
    nanos = frac;
  }
  ZELQ_TRY_ASSIGN(offset, sc.offset());
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

Result<std::int64_t, TimeParseError> read_rfc3339_digits(std::string_view& s, std::size_t min, std::size_t max) {
  if (s.size() < min) return fail(TimeParseError::TooShort);
  std::int64_t n = 0;
  std::size_t i = 0;
  for (; i < max && i < s.size(); ++i) {
    if (!ascii::is_digit(s[i])) {
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

Result<std::uint32_t, TimeParseError> read_rfc3339_fraction(std::string_view& s) {
  static constexpr std::array<std::uint32_t, 10> kScale = {0,      100'000'000, 10'000'000, 1'000'000, 100'000,
                                                           10'000, 1'000,       100,        10,        1};
  const std::size_t before = s.size();
  auto digits = read_rfc3339_digits(s, 1, 9);
  if (!digits) return fail(digits.error());
  const std::uint32_t nanos = static_cast<std::uint32_t>(*digits) * kScale[before - s.size()];
  while (!s.empty() && ascii::is_digit(s.front())) s.remove_prefix(1);
  return nanos;
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
