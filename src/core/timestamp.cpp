#include "core/timestamp.hpp"

#include "core/ascii.hpp"

namespace zelq {

bool is_canonical_ms_timestamp(std::string_view text) {
  using ascii::is_digit;
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

std::string not_canonical_ms_message(std::string_view subject, std::string_view text, std::string_view refs,
                                     bool show_shape) {
  std::string msg(subject);
  msg.append(" '").append(text).append("' is not canonical millisecond-precision RFC 3339 UTC (");
  if (show_shape) msg.append("`YYYY-MM-DDTHH:MM:SS.mmmZ`, ");
  msg.append(refs).append(")");
  return msg;
}

bool is_whole_millisecond(const UtcTime& t) { return t.nanos() % 1'000'000u == 0; }

UtcTime truncate_to_millis(const UtcTime& t) {
  // Only a leap second on the last day of the kept range can fail to move.
  auto truncated = UtcTime::from_unix_millis(t.unix_millis());
  return truncated ? *truncated : t;
}

std::optional<UtcTime> truncated_timestamp(std::string_view text) {
  auto t = parse_rfc3339(text);
  // Not a date-time, or already whole milliseconds: kept exactly as written.
  if (!t || is_whole_millisecond(*t)) return std::nullopt;
  return truncate_to_millis(*t);
}

}  // namespace zelq
