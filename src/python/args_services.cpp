#include "python/args_services.hpp"

#include "core/json/reader.hpp"
#include "python/binding.hpp"

namespace zelq::py {

std::optional<json::Value> parse_json_arg(std::string_view text, std::string_view role) {
  auto v = json::parse_argument(text, role);
  if (!v) {
    raise_failure(ErrorMap{}, v.error());
    return std::nullopt;
  }
  return std::move(*v);
}

std::optional<UtcTime> now_or_parse_rfc3339(std::optional<std::string_view> text) {
  auto t = now_or_rfc3339_argument(text);
  if (!t) {
    raise_failure(ErrorMap{}, t.error());
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
