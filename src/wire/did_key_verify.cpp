#include "wire/did_key_verify.hpp"

#include "crypto/verify.hpp"
#include "did/did_key.hpp"

namespace zelq::wire {

ZResult<void> verify_signature_by_did_key(const Signature& signature, std::string_view message) {
  auto key = did::resolve_did_key_url(signature.key_id);
  if (!key) return fail(std::move(key).error());
  if (signature.algorithm != key->algorithm()) {
    return fail(ZelqError::invalid_signature("signature.algorithm '" + signature.algorithm +
                                             "' does not match the did:key multicodec (key implies '" +
                                             std::string(key->algorithm()) + "')"));
  }
  return crypto::verify_signature(key->kind(), key->bytes(), signature.value, message);
}

}  // namespace zelq::wire
