// Any byte string through the JSON reader and canonical JSON: no crash, and
// the one-pass canonical form always equals the canonical form of the value.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/json/canonical.hpp"
#include "core/json/reader.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  auto value = zelq::json::parse(text);
  auto once = zelq::canonicalize_text(text);
  if (value.ok() != once.ok()) std::abort();
  if (!value.ok()) {
    if (value.error().display() != once.error().display()) std::abort();
    return 0;
  }
  auto canonical = zelq::jcs_canonicalize(*value);
  if (!canonical.ok() || *canonical != *once) std::abort();
  // The canonical form reads back to itself.
  auto again = zelq::canonicalize_text(*once);
  if (!again.ok() || *again != *once) std::abort();
  return 0;
}
