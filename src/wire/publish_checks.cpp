#include "wire/publish_checks.hpp"

#include "core/utf8.hpp"

namespace zelq::wire {

ZResult<void> check_text_length(std::string_view name, const std::optional<std::string>& text, std::size_t limit) {
  if (!text) return {};
  if (auto n = utf8_char_count(*text); n > limit)
    return fail(ZelqError::schema(std::string(name) + " length " + std::to_string(n) + " exceeds " +
                                  std::to_string(limit)));
  return {};
}

ZResult<void> check_title(std::string_view title) {
  if (auto n = utf8_char_count(title); n < 1 || n > 500)
    return fail(ZelqError::schema("title length " + std::to_string(n) + " not in 1..=500"));
  return {};
}

}  // namespace zelq::wire
