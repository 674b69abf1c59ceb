// Any byte string as a registry's log artefact: checkpoint, leaf, inclusion
// and consistency proof, leaf hash list and receipt. No crash, no hang, and a
// leaf that reads writes back to a text of the same hash. Read for its
// record (only what the record reads built), a text gets the whole value's
// verdict word for word.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/json/reader.hpp"
#include "core/json/writer.hpp"
#include "registry/checkpoint.hpp"
#include "registry/log_leaf.hpp"
#include "registry/log_proof.hpp"
#include "registry/merkle.hpp"
#include "registry/receipt.hpp"

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
  static const auto clock = *bounded_consumer_clock(*zelq::UtcTime::from_unix(1'750'000'000, 0), std::nullopt, "skew");
  const auto agree = [](const auto& a, const auto& b) {
    if (a.ok() != b.ok() || (!a.ok() && a.error().display() != b.error().display())) std::abort();
  };
  const auto read_for = [&](const zelq::json::Prune* p) { return *zelq::json::parse(text, p); };
  agree(log_leaf_from_receipt(read_for(registry_receipt_prune())), log_leaf_from_receipt(v));
  agree(parse_log_leaf(read_for(log_leaf_prune())), parse_log_leaf(v));
  agree(verify_log_checkpoint(read_for(log_checkpoint_prune()), kDoc, std::nullopt, clock),
        verify_log_checkpoint(v, kDoc, std::nullopt, clock));

  // The value as a proof, with the value's own "log_checkpoint" (or the value
  // itself) as the supplied checkpoint, and the value's "leaf" as the leaf.
  const zelq::json::Value* cp = v.get("log_checkpoint");
  const zelq::json::Value* leaf = v.get("leaf");
  // The argument road, which reads the usual proof straight from the texts,
  // must give the value road's verdict word for word.
  const std::string cp_text = cp ? zelq::json::to_string(*cp) : std::string(text);
  const std::string leaf_text = leaf ? zelq::json::to_string(*leaf) : std::string(text);
  const auto same = [](const auto& by_text, const auto& by_value) {
    return by_text && by_text->ok() == by_value.ok() &&
           (by_value.ok() || by_text->error().display() == by_value.error().display());
  };
  const auto same_inclusion = [&](std::string_view proof_text, const zelq::json::Value& proof) {
    auto by_value = verify_log_inclusion(proof, cp ? *cp : v, leaf ? *leaf : v);
    auto by_text = verify_log_inclusion_arguments(proof_text, cp_text, leaf_text);
    if (!same(by_text, by_value) || (by_value && **by_text != *by_value)) std::abort();
  };
  same_inclusion(text, v);
  // The same proof as a registry usually sends it: without the checkpoint
  // (and without the first root, which the host gives apart).
  zelq::json::Value sent = v;
  if (sent.is_object()) {
    sent.as_object().remove("log_checkpoint");
    sent.as_object().remove("first_root_hash");
    same_inclusion(zelq::json::to_string(sent), sent);
  }
  const zelq::json::Value* first = v.get("first_root_hash");
  const std::string first_root = first && first->is_string() ? first->as_string() : "";
  if (!same(verify_log_consistency_arguments(text, cp_text, first_root), verify_log_consistency(v, cp ? *cp : v, first_root)))
    std::abort();
  if (sent.is_object() &&
      !same(verify_log_consistency_arguments(zelq::json::to_string(sent), cp_text, first_root),
            verify_log_consistency(sent, cp ? *cp : v, first_root)))
    std::abort();
  return 0;
}
