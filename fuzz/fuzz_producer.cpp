// Any text as a keyword argument of the build methods: no crash, and every
// request that builds reads back and passes offline verification (its hash
// over the text as written, its key binding and its signature).
//
// The first byte picks the argument the rest of the input becomes; the
// supersede case takes the rest as the previous body.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "core/json/canonical.hpp"
#include "core/json/reader.hpp"
#include "producer/request.hpp"
#include "wire/body.hpp"
#include "wire/offline.hpp"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

const zelq::producer::Producer& producer(std::uint8_t pick) {
  static const std::uint8_t seed[32] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16,
                                        17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32};
  using zelq::producer::KeyKind;
  using zelq::producer::Producer;
  static const Producer ed = std::move(*Producer::from_seed_did_key(KeyKind::Ed25519, seed));
  static const Producer p256 = std::move(*Producer::from_seed_did_key(KeyKind::P256, seed));
  return pick & 0x80 ? p256 : ed;
}

void check_built(const zelq::producer::PResult<std::string>& built) {
  if (!built) return;
  auto request = zelq::wire::parse_publish_request(*built);
  check(request.ok());
  auto text = zelq::canonicalize_members(*built, false);
  check(text.ok() && zelq::wire::verify_request(*request, *text).ok());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
  const auto& p = producer(data[0]);
  if ((data[0] & 0x7f) == 0x7f) {
    zelq::producer::SupersedeArgs s{};
    s.previous_body_json = text;
    check_built(zelq::producer::build_supersede_request(p, s));
    return 0;
  }
  zelq::producer::PublishArgs a{};
  a.title = "title";
  a.context_type = "analysis";
  std::vector<std::string_view> list{text};
  switch ((data[0] & 0x7f) % 14) {
    case 0: a.title = text; break;
    case 1: a.context_type = text; break;
    case 2: a.visibility = text; a.audience = list; break;
    case 3: a.metadata = text; break;
    case 4: a.data_refs = text; break;
    case 5: a.anchors = text; break;
    case 6: a.expires_at = text; break;
    case 7: a.data_period = text; break;
    case 8: a.expected_lineage_id = text; break;
    case 9: a.zelq_version = text; break;
    case 10: a.tags = list; a.description = text; break;
    case 11: a.derived_from = list; break;
    case 12: a.contributors = list; a.domain = text; break;
    default: a.summary = text; a.schema_uri = text; break;
  }
  check_built(zelq::producer::build_publish_request(p, a));
  return 0;
}
