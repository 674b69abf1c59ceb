// The strict RFC 3339 reader that every timestamp test and every date-time
// argument goes through, with the texts of its refusals.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "core/error.hpp"
#include "core/result.hpp"
#include "core/utc_time.hpp"

namespace zelq {

// Why a date-time text was refused; the texts are the ones hosts see.
enum class TimeParseError : std::uint8_t {
  OutOfRange,
  Impossible,
  Invalid,
  TooShort,
  TooLong,
};

std::string_view time_parse_message(TimeParseError e);

// Strict RFC 3339: "YYYY-MM-DD", "T"/"t"/" ", "HH:MM:SS", optional "." and one
// or more digits (the first nine count), then "Z"/"z" or a numeric offset
// "+HH:MM" / "-HH:MM" / U+2212 "HH:MM" below 24 hours; nothing after it.
// Second 60 is a leap second. The result is the instant in UTC.
Result<UtcTime, TimeParseError> parse_rfc3339(std::string_view text);

// min..max ASCII digits at the front of `s`, as a number: fewer than `min`
// bytes left is "premature end", a non-digit before `min` digits "invalid", a
// value past 64 bits "out of range". Both readers take their numbers this way.
Result<std::int64_t, TimeParseError> read_rfc3339_digits(std::string_view& s, std::size_t min, std::size_t max);

// The fraction after its ".": one or more digits, the first nine scaled to
// nanoseconds (a single 5 is 500,000,000 ns), any further ones read and
// dropped. Both readers of this system take fractions this way.
Result<std::uint32_t, TimeParseError> read_rfc3339_fraction(std::string_view& s);

// A method's date-time argument named `name`: a strict RFC 3339 date-time at
// any offset, as the UTC instant; "invalid {name} '{text}': {reader message}"
// otherwise.
Result<UtcTime, ArgumentError> rfc3339_argument(std::string_view text, std::string_view name);

// A method's optional "now" argument. Absent: the system clock at full
// precision. Present: a strict RFC 3339 date-time at any offset, as the UTC
// instant; "invalid now_rfc3339 '{text}': {reader message}" otherwise.
Result<UtcTime, ArgumentError> now_or_rfc3339_argument(std::optional<std::string_view> text);

}  // namespace zelq
