// The did:key rules of the producer-DID and key-id validators: the key must
// decode; the decoded key itself is not needed here.
#include "did/did_key.hpp"
#include "wire/validators.hpp"

namespace zelq::wire {

ZResult<void> did_key_identifier_decodes(std::string_view method_specific_id) {
  auto key = did::decode_did_key(method_specific_id);
  if (!key) return fail(std::move(key).error());
  return {};
}

ZResult<void> did_key_url_resolves(std::string_view key_id) {
  auto key = did::resolve_did_key_url(key_id);
  if (!key) return fail(std::move(key).error());
  return {};
}

}  // namespace zelq::wire
