// Any bytes as a DID document, and key selection over whatever parses: no
// crash; the text and value roads give the same document; a witness document
// read as its argument is (only what the record reads built) gives the whole
// value's document or failure word for word; a key resolves alike through
// both gates.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/json/reader.hpp"
#include "did/did_document.hpp"
#include "did/key_select.hpp"
#include "pruned_reading.hpp"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace zelq::did;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  auto doc = parse_did_document(text);
  if (auto value = zelq::json::parse(text)) {
    // What the text road accepts, the value road reads into the same
    // document: every method, its kept JWK members, every assertion entry.
    auto from_value = did_document_from_value(*value);
    if (doc.ok()) check(from_value.ok() && *from_value == *doc);
  }
  zelq::fuzz::tie_argument(text, "witness DID document", did_document_prune(), [](const auto& pruned, const auto& whole) {
    zelq::fuzz::same_outcome(did_document_from_value(pruned), did_document_from_value(whole));
  });
  if (!doc) return 0;
  (void)parse_pinned_did_document(text, doc->id);
  // Ask for every method the document names, and one it does not.
  std::string ids[] = {"#k", doc->id + "#k"};
  for (const auto& m : doc->verification_method) {
    for (std::string_view alg : {"ed25519", "ecdsa-p256", "rsa"}) {
      auto k = key_for_algorithm(*doc, m.id, alg);
      auto r = receipt_key_for_algorithm(*doc, m.id, alg);
      if (k.ok()) check(r.ok() && !r->historical && r->key.public_key_b64 == k->public_key_b64);
      (void)method_algorithm(m);
      (void)is_assertion_method(*doc, m.id);
    }
  }
  for (const auto& id : ids) (void)select_key_for_algorithm(*doc, id, "ed25519");
  return 0;
}
