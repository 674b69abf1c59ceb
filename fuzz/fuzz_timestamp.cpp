// Any bytes as an RFC 3339 date-time, and any JSON through the timestamp
// truncation: no crash; a canonical rendering of a year 0000..9999 reads back
// to the same instant and is recognised as canonical (a year moved outside
// that range by its offset is written with a sign, which no reader accepts).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/json/reader.hpp"
#include "core/json/record.hpp"
#include "core/timestamp.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace zelq;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (auto t = parse_rfc3339(text)) {
    const std::string canonical = format_rfc3339_millis(*t);
    if (canonical[0] == '+' || canonical[0] == '-') return 0;
    auto back = parse_rfc3339(canonical);
    if (!back || format_rfc3339_millis(*back) != canonical) std::abort();
    if (canonical.size() == 24 && !is_canonical_ms_timestamp(canonical)) std::abort();
    (void)whole_seconds_between(*t, *back);
    (void)later_by_more_than(*t, *back, static_cast<std::int64_t>(size) - 16);
  }
  if (auto c = parse_canonical_ms_timestamp(text)) {
    if (format_rfc3339_millis(*c) != text) std::abort();
  }
  if (auto v = json::parse(text)) (void)json::truncate_timestamps_ms(*v);
  return 0;
}
