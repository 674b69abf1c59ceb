#include "crypto/signature_verify.hpp"

#include <algorithm>

#include "core/codec.hpp"
#include "crypto/p256.hpp"
#include "did/did_key.hpp"

namespace zelq::crypto {

ZResult<void> verify_signature_by_did_key(const wire::Signature& signature, std::string_view message) {
  auto key = did::resolve_did_key_url(signature.key_id);
  if (!key) return fail(std::move(key).error());
  if (signature.algorithm != key->algorithm()) {
    return fail(ZelqError::invalid_signature("signature.algorithm '" + signature.algorithm +
                                             "' does not match the did:key multicodec (key implies '" +
                                             std::string(key->algorithm()) + "')"));
  }
  if (key->kind() == did::DidKeyPublicKey::Kind::Ed25519) {
    return verify_ed25519(key->ed25519_bytes(), signature.value, message);
  }
  return verify_p256(key->bytes(), signature.value, message);
}

Result<Ed25519PublicKey, std::string> decode_public_key_b64(std::string_view text) {
  auto raw = base64_decode(text);
  if (!raw) return fail("invalid public_key_b64: " + raw.error());
  if (raw->size() != 32) return fail(std::string("public key must decode to 32 bytes"));
  Ed25519PublicKey key{};
  std::copy(raw->begin(), raw->end(), key.begin());
  return key;
}

}  // namespace zelq::crypto
