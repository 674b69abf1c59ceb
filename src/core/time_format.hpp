// Writing UTC instants: the canonical millisecond text, the shortest exact
// RFC 3339 form, and the human form of messages.
#pragma once

#include <string>

#include "core/utc_time.hpp"

namespace zelq {

// "YYYY-MM-DDTHH:MM:SS", then no fraction, or 3, 6 or 9 digits (the fewest
// that hold the nanoseconds exactly), then "Z"; 60 in the seconds field
// during a leap second.
std::string format_rfc3339(const UtcTime& t);

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

}  // namespace zelq
