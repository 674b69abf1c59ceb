#include "python/args_services.hpp"

#include <string>

#include "core/json_reader.hpp"
#include "python/binding.hpp"

namespace zelq::py {

std::optional<json::Value> parse_json_arg(std::string_view text, std::string_view role) {
  auto v = json::parse(text);
  if (!v) {
    std::string msg = "invalid ";
    msg.append(role).append(" JSON: ").append(v.error().display());
    raise_value_error(msg);
    return std::nullopt;
  }
  return std::move(*v);
}

std::optional<UtcTime> now_or_parse_rfc3339(std::optional<std::string_view> text) {
  if (!text) return UtcTime::now();
  auto t = parse_rfc3339(*text);
  if (!t) {
    std::string msg = "invalid now_rfc3339 '";
    msg.append(*text).append("': ").append(time_parse_message(t.error()));
    raise_value_error(msg);
    return std::nullopt;
  }
  return *t;
}

std::optional<registry::ClockWindow> consumer_clock(std::optional<std::string_view> now_rfc3339,
                                                    std::optional<std::int64_t> skew_secs,
                                                    std::string_view skew_arg) {
  auto now = now_or_parse_rfc3339(now_rfc3339);
  if (!now) return std::nullopt;
  const std::int64_t skew = skew_secs.value_or(registry::kDefaultSkewSecs);
  auto window = registry::clock_window(*now, skew);
  if (!window) {
    std::string msg(skew_arg);
    msg.append(" ").append(std::to_string(skew)).append(" puts the consumer clock plus the allowance outside the representable time range");
    raise_value_error(msg);
    return std::nullopt;
  }
  return window;
}

}  // namespace zelq::py
