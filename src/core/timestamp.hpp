// The protocol's canonical millisecond timestamp "YYYY-MM-DDTHH:MM:SS.mmmZ":
// the tests that hold a text to it, the message of a text that fails them,
// and the cut of an instant to whole milliseconds. The strict reader and the
// writers of the form come with this header.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/rfc3339.hpp"
#include "core/time_format.hpp"
#include "core/utc_time.hpp"

namespace zelq {

// Exactly the canonical 24-byte shape of an existing UTC date and time.
bool is_canonical_ms_timestamp(std::string_view text);
// The instant when `text` is exactly its own canonical rendering.
std::optional<UtcTime> parse_canonical_ms_timestamp(std::string_view text);

// Why a time text is refused for not being canonical:
// "{subject} '{text}' is not canonical millisecond-precision RFC 3339 UTC
// (`YYYY-MM-DDTHH:MM:SS.mmmZ`, {refs})", or without the shape and its comma
// when `show_shape` is false.
std::string not_canonical_ms_message(std::string_view subject, std::string_view text, std::string_view refs,
                                     bool show_shape = true);

// Whether the instant has no digits below the millisecond (a leap second's
// extra second counts as whole).
bool is_whole_millisecond(const UtcTime& t);
// The same instant with its sub-millisecond part dropped (toward the past),
// or unchanged where that cannot be represented.
UtcTime truncate_to_millis(const UtcTime& t);
// The instant a string stands for when it is an RFC 3339 date-time with
// digits below the millisecond, truncated to the millisecond; nothing for
// every other string.
std::optional<UtcTime> truncated_timestamp(std::string_view text);

}  // namespace zelq
