// Any JSON text as a body, with the hash of its own canonical form and a hash
// that matches nothing: no crash; the text road and the value road give the
// same content hash; a body always matches its own hash, and the report for
// any other hash names the recomputed one.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/content_hash.hpp"
#include "core/hash_mismatch.hpp"
#include "core/json/reader.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace zelq;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  auto body = canonical_body_argument(text);
  auto value = json::parse(text);
  if (body.ok() != value.ok()) std::abort();
  if (!body) return 0;
  auto own = body_content_hash(*body);
  auto by_value = body_content_hash(*value);
  if (own.ok() != by_value.ok()) std::abort();
  auto other = ContentHash::parse("sha256:0000000000000000000000000000000000000000000000000000000000000000");
  auto report = explain_hash_mismatch(text, *body, *other);
  if (!own) {
    if (report.ok()) std::abort();
    return 0;
  }
  if (own->canonical != by_value->canonical || own->hash != by_value->hash) std::abort();
  if (!verify_body_content_hash(*body, own->hash).ok()) std::abort();
  auto same = explain_hash_mismatch(text, *body, own->hash);
  if (!same || *same != kHashMatchesReport) std::abort();
  if (own->hash != *other && (!report || report->find(own->hash.text()) == std::string::npos)) std::abort();
  return 0;
}
