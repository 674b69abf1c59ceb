// The relaxed date-time reader of publish records.
#pragma once

#include <string_view>

#include "core/result.hpp"
#include "core/rfc3339.hpp"
#include "core/utc_time.hpp"

namespace zelq {

// The relaxed reading of the date-times inside publish records. Beyond the
// strict form it takes white space before every number, around the separators
// and before the offset, one- and two-digit fields, a signed year of any
// length, the offset "UTC" in any letter case, colons or white space between
// the offset's hours and minutes, and white space after the text.
Result<UtcTime, TimeParseError> parse_rfc3339_relaxed(std::string_view text);

}  // namespace zelq
