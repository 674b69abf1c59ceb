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
                                        const crypto::PublicKey& key, std::string_view label, ErrorKind kind) {
  const std::string l(label);
  const auto algorithm = crypto::algorithm_from_name(sig.algorithm);
  if (!algorithm) return fail(ZelqError::text(kind, l + " signature algorithm '" + sig.algorithm + "' is not supported"));
  if (*algorithm != crypto::key_algorithm(key)) {
    const std::string_view short_name = *algorithm == crypto::KeyAlgorithm::Ed25519 ? "ed25519" : "p256";
    return fail(ZelqError::text(kind, l + " declares " + sig.algorithm + " but no " + std::string(short_name) +
                                          " registry key was resolved"));
  }
  auto verdict = crypto::verify_signature(key, sig.value, digest);
  if (!verdict) return fail(ZelqError::text(kind, l + " signature: " + verdict.error().display()));
  return {};
}

ZResult<void> verify_artefact_signature(const wire::Signature& sig, std::string_view digest,
                                        const did::ResolvedSigningKey& key, std::string_view label, ErrorKind kind) {
  return verify_artefact_signature(sig, digest, key.key, label, kind);
}

}  // namespace zelq::registry
