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

std::optional<registry::ConsumerClock> consumer_clock(std::optional<std::string_view> now_rfc3339,
                                                      std::optional<std::int64_t> skew_secs,
                                                      std::string_view skew_arg) {
  auto now = now_or_parse_rfc3339(now_rfc3339);
  if (!now) return std::nullopt;
  const std::int64_t skew = skew_secs.value_or(registry::kDefaultSkewSecs);
  auto clock = registry::consumer_clock(*now, skew);
  if (!clock) {
    raise_value_error(std::string(skew_arg) + " " + std::to_string(skew) + " is outside the representable time span of \u00b1" +
                      std::to_string(registry::kMaxDurationSecs) + " seconds");
    return std::nullopt;
  }
  return clock;
}

}  // namespace zelq::py
