// Any byte string as a registry's log artefact: checkpoint, leaf, inclusion
// and consistency proof, leaf hash list and receipt. No crash, no hang, and a
// leaf that reads writes back to a text of the same hash.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/json/reader.hpp"
#include "registry/checkpoint.hpp"
#include "registry/log_leaf.hpp"
#include "registry/log_proof.hpp"
#include "registry/merkle.hpp"

namespace {

constexpr std::string_view kDoc =
    R"({"id":"did:web:r.example","verificationMethod":[{"id":"did:web:r.example#k","type":"JsonWebKey2020",)"
    R"("controller":"did:web:r.example","publicKeyJwk":{"kty":"OKP","crv":"Ed25519",)"
    R"("x":"11qYAYKxCrfVS_7TyWQHOg7hcvPapiMlrwIaaPcHURo"}}],"assertionMethod":["did:web:r.example#k"]})";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace zelq::registry;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  if (auto leaves = read_leaf_hashes_argument(text); leaves && *leaves) (void)merkle_tree_hash(**leaves);
  auto value = zelq::json::parse(text);
  if (!value) return 0;
  const zelq::json::Value& v = *value;

  if (auto leaf = parse_log_leaf(v)) {
    auto again = zelq::json::parse(write_log_leaf(*leaf));
    if (!again) std::abort();
    auto reread = parse_log_leaf(*again);
    if (!reread || log_leaf_hash(*reread) != log_leaf_hash(*leaf)) std::abort();
    (void)verify_log_inclusion(v, v, v);
  }
  (void)log_leaf_from_receipt(v);

  static const auto clock = *bounded_consumer_clock(*zelq::UtcTime::from_unix(1'750'000'000, 0), std::nullopt, "skew");
  (void)verify_log_checkpoint(v, kDoc, std::nullopt, clock);

  // The value as a proof, with the value's own "log_checkpoint" (or the value
  // itself) as the supplied checkpoint, and the value's "leaf" as the leaf.
  const zelq::json::Value* cp = v.get("log_checkpoint");
  const zelq::json::Value* leaf = v.get("leaf");
  (void)verify_log_inclusion(v, cp ? *cp : v, leaf ? *leaf : v);
  const zelq::json::Value* first = v.get("first_root_hash");
  (void)verify_log_consistency(v, cp ? *cp : v, first && first->is_string() ? first->as_string() : "");
  return 0;
}
