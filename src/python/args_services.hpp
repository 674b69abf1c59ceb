// Argument services shared by the methods that take JSON text or an optional
// "now" time. Each returns nullopt with the argument's ValueError set on bad
// input; a method whose row raises argument failures otherwise calls the
// core readers (json::parse_argument, now_or_rfc3339_argument) and a.fail.
#pragma once

#include <optional>
#include <string_view>

#include "core/json/value.hpp"
#include "core/timestamp.hpp"

namespace zelq::py {

// One JSON value; "invalid {role} JSON: {reader message}" otherwise.
std::optional<json::Value> parse_json_arg(std::string_view text, std::string_view role);

// Absent: the system clock at full precision. Present: a strict RFC 3339
// date-time at any offset, as the UTC instant; "invalid now_rfc3339 '{text}':
// {reader message}" otherwise.
std::optional<UtcTime> now_or_parse_rfc3339(std::optional<std::string_view> text);

}  // namespace zelq::py
