#include "registry/artefact.hpp"

#include "core/content_hash.hpp"

namespace zelq::registry {

const std::string* raw_string_member(const json::Value& v, std::string_view name) {
  const json::Value* m = v.get(name);
  return m && m->is_string() ? &m->as_string() : nullptr;
}

ZResult<std::string> artefact_signing_digest(const json::Value& raw, std::string_view label, ErrorKind kind) {
  if (!raw.is_object()) return fail(ZelqError::text(kind, std::string(label) + " must be a JSON object"));
  return signing_digest(raw.as_object());
}

ZResult<void> verify_artefact_signature(const wire::Signature& sig, std::string_view digest,
                                        const crypto::Ed25519PublicKey* ed25519,
                                        const crypto::P256Uncompressed* p256, std::string_view label,
                                        ErrorKind kind) {
  const std::string l(label);
  ZResult<void> verdict;
  if (sig.algorithm == crypto::kAlgEd25519) {
    if (!ed25519) return fail(ZelqError::text(kind, l + " declares ed25519 but no ed25519 registry key was resolved"));
    verdict = crypto::verify_ed25519(*ed25519, sig.value, digest);
  } else if (sig.algorithm == crypto::kAlgP256) {
    if (!p256) return fail(ZelqError::text(kind, l + " declares ecdsa-p256 but no p256 registry key was resolved"));
    verdict = crypto::verify_p256(*p256, sig.value, digest);
  } else {
    return fail(ZelqError::text(kind, l + " signature algorithm '" + sig.algorithm + "' is not supported"));
  }
  if (!verdict) return fail(ZelqError::text(kind, l + " signature: " + verdict.error().display()));
  return {};
}

ZResult<void> verify_artefact_signature(const wire::Signature& sig, std::string_view digest,
                                        const did::ResolvedSigningKey& key, std::string_view label, ErrorKind kind) {
  const auto* ed = std::get_if<crypto::Ed25519PublicKey>(&key.key);
  const auto* p256 = std::get_if<crypto::P256Uncompressed>(&key.key);
  return verify_artefact_signature(sig, digest, ed, p256, label, kind);
}

}  // namespace zelq::registry
