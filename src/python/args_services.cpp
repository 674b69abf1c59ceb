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

}  // namespace zelq::py
