#include "wire/did_key_verify.hpp"

#include "crypto/ed25519.hpp"
#include "crypto/p256.hpp"
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
  if (key->kind() == did::DidKeyPublicKey::Kind::Ed25519) {
    return crypto::verify_ed25519(key->ed25519_bytes(), signature.value, message);
  }
  return crypto::verify_p256(key->bytes(), signature.value, message);
}

}  // namespace zelq::wire
