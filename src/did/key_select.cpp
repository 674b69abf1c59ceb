#include "did/key_select.hpp"

#include <algorithm>

#include "core/codec.hpp"
#include "did/did_url.hpp"

namespace zelq::did {

namespace {

ZelqError key_error(std::string msg) { return ZelqError::text(ErrorKind::KeyResolution, std::move(msg)); }

// "#frag" under the document id; anything else (the empty text included) as is.
std::string normalise_ref(const DidDocument& doc, std::string_view ref) {
  if (!ref.empty() && ref.front() == '#') return doc.id + std::string(ref);
  return std::string(ref);
}

// A JWK member as text: missing, or not a string, reads as empty.
std::string_view jwk_text(const std::optional<std::string>& member) {
  return member ? std::string_view(*member) : std::string_view();
}

struct AlgorithmByType {
  std::string_view type;
  std::string_view algorithm;
};
constexpr AlgorithmByType kTypeAlgorithms[] = {
    {"EcdsaSecp256r1VerificationKey2019", crypto::kAlgP256},
    {"Ed25519VerificationKey2020", crypto::kAlgEd25519},
    {"Ed25519VerificationKey2018", crypto::kAlgEd25519},
};

}  // namespace

const VerificationMethod* find_method_by_fragment(const DidDocument& doc, std::string_view fragment) {
  for (const VerificationMethod& m : doc.verification_method) {
    std::size_t hash = m.id.rfind('#');
    if (hash == std::string::npos) continue;
    if (std::string_view(m.id).substr(hash + 1) == fragment) return &m;
  }
  return nullptr;
}

bool is_assertion_method(const DidDocument& doc, std::string_view key_id) {
  const std::string wanted = normalise_ref(doc, key_id);
  for (std::size_t i = 0; i < doc.assertion_method.size(); ++i)
    if (normalise_ref(doc, doc.assertion_method[i].id()) == wanted) return true;
  return false;
}

std::optional<std::string_view> method_algorithm(const VerificationMethod& m) {
  if (m.type == "JsonWebKey2020") {
    if (!m.public_key_jwk) return std::nullopt;
    const auto& kty = m.public_key_jwk->kty;
    const auto& crv = m.public_key_jwk->crv;
    if (!kty || !crv) return std::nullopt;
    if (*kty == "EC" && *crv == "P-256") return crypto::kAlgP256;
    if (*kty == "OKP" && *crv == "Ed25519") return crypto::kAlgEd25519;
    return std::nullopt;
  }
  for (const auto& row : kTypeAlgorithms)
    if (m.type == row.type) return row.algorithm;
  const auto& mb = m.public_key_multibase;
  if (!mb || mb->empty() || mb->front() != 'z') return std::nullopt;
  auto bytes = base58_decode(std::string_view(*mb).substr(1));
  if (!bytes) return std::nullopt;
  if (has_multicodec(*bytes, kEd25519Multicodec)) return crypto::kAlgEd25519;
  if (has_multicodec(*bytes, kP256Multicodec)) return crypto::kAlgP256;
  return std::nullopt;
}

ZResult<crypto::Ed25519PublicKey> ed25519_public_key(const VerificationMethod& m) {
  crypto::Ed25519PublicKey out{};
  if (m.public_key_jwk) {
    const Jwk& jwk = *m.public_key_jwk;
    std::string_view kty = jwk_text(jwk.kty), crv = jwk_text(jwk.crv);
    if (kty != "OKP" || crv != "Ed25519") {
      return fail(key_error("expected OKP/Ed25519 JWK, got kty=" + std::string(kty) + " crv=" + std::string(crv)));
    }
    const auto& x = jwk.x;
    if (!x) return fail(key_error("JWK missing 'x' parameter"));
    auto bytes = base64url_decode(*x);
    if (!bytes) return fail(key_error("JWK 'x' base64url decode: " + bytes.error()));
    if (bytes->size() != out.size()) return fail(key_error("JWK 'x' is not 32 bytes (not Ed25519)"));
    std::copy(bytes->begin(), bytes->end(), out.begin());
    return out;
  }
  if (m.public_key_multibase) {
    const std::string& mb = *m.public_key_multibase;
    if (mb.empty() || mb.front() != 'z') return fail(key_error("only 'z' (base58btc) multibase prefix is supported"));
    auto bytes = base58_decode(std::string_view(mb).substr(1));
    if (!bytes) return fail(key_error("base58 decode: " + bytes.error()));
    if (!has_multicodec(*bytes, kEd25519Multicodec)) {
      return fail(key_error("multibase key does not have Ed25519 multicodec prefix (0xed 0x01)"));
    }
    if (bytes->size() != 2 + out.size()) return fail(key_error("Ed25519 key must be 32 bytes after multicodec prefix"));
    std::copy(bytes->begin() + 2, bytes->end(), out.begin());
    return out;
  }
  return fail(key_error("verification method has neither publicKeyJwk nor publicKeyMultibase"));
}

ZResult<crypto::P256Uncompressed> p256_public_key(const VerificationMethod& m) {
  if (!m.public_key_jwk) {
    return fail(key_error(
        "ecdsa-p256 verification method requires publicKeyJwk (publicKeyMultibase not yet supported for P-256)"));
  }
  const Jwk& jwk = *m.public_key_jwk;
  std::string_view kty = jwk_text(jwk.kty), crv = jwk_text(jwk.crv);
  if (kty != "EC" || crv != "P-256") {
    return fail(key_error("expected EC/P-256 JWK, got kty=" + std::string(kty) + " crv=" + std::string(crv)));
  }
  const auto& x = jwk.x;
  if (!x) return fail(key_error("JWK missing 'x'"));
  const auto& y = jwk.y;
  if (!y) return fail(key_error("JWK missing 'y'"));
  auto xb = base64url_decode(*x);
  if (!xb) return fail(key_error("JWK 'x' base64url: " + xb.error()));
  auto yb = base64url_decode(*y);
  if (!yb) return fail(key_error("JWK 'y' base64url: " + yb.error()));
  if (xb->size() != 32 || yb->size() != 32) {
    return fail(key_error("P-256 JWK x/y must be 32 bytes each, got x=" + std::to_string(xb->size()) +
                          " y=" + std::to_string(yb->size())));
  }
  crypto::P256Uncompressed out{};
  out[0] = 0x04;
  std::copy(xb->begin(), xb->end(), out.begin() + 1);
  std::copy(yb->begin(), yb->end(), out.begin() + 33);
  return out;
}

ZResult<crypto::PublicKey> method_public_key(const VerificationMethod& m, crypto::KeyAlgorithm algorithm) {
  if (algorithm == crypto::KeyAlgorithm::Ed25519) {
    auto key = ed25519_public_key(m);
    if (!key) return fail(std::move(key).error());
    return crypto::PublicKey(*key);
  }
  auto key = p256_public_key(m);
  if (!key) return fail(std::move(key).error());
  return crypto::PublicKey(*key);
}

DidResult<KeySelection> select_key_for_algorithm(const DidDocument& doc, std::string_view requested_key_id,
                                                 std::string_view requested_alg) {
  const auto algorithm = crypto::algorithm_from_name(requested_alg);
  if (!algorithm) {
    return did_fail(DidReason::UnsupportedAlgorithm, "unsupported algorithm: " + std::string(requested_alg));
  }
  // With a "#", only the fragment counts (no second try on the whole id);
  // without one, the id must match exactly.
  const VerificationMethod* m = nullptr;
  if (const auto fragment = url_fragment(requested_key_id)) {
    m = find_method_by_fragment(doc, *fragment);
  } else {
    for (const VerificationMethod& vm : doc.verification_method) {
      if (vm.id == requested_key_id) {
        m = &vm;
        break;
      }
    }
  }
  if (!m) {
    return did_fail(DidReason::KeyNotFound, "no verificationMethod with id '" + std::string(requested_key_id) + "'");
  }
  // A method that names its algorithm must name the requested one: a
  // signature may not pick a weaker reading of the same key.
  if (auto alg = method_algorithm(*m); alg && *alg != requested_alg) {
    return did_fail(DidReason::AlgMismatch, "requested " + std::string(requested_alg) + " but verificationMethod '" +
                                                m->id + "' is " + m->type + " (" + std::string(*alg) + ")");
  }
  auto key = method_public_key(*m, *algorithm);
  if (!key) return did_fail(DidReason::MalformedKey, key.error().display());
  std::string b64 = std::visit([](const auto& bytes) { return base64_encode(bytes); }, *key);
  return KeySelection{m->id, std::move(b64)};
}

DidResult<KeySelection> key_for_algorithm(const DidDocument& doc, std::string_view requested_key_id,
                                          std::string_view requested_alg) {
  auto sel = select_key_for_algorithm(doc, requested_key_id, requested_alg);
  if (!sel) return sel;
  if (!is_assertion_method(doc, requested_key_id)) {
    return did_fail(DidReason::KeyNotAuthorized, "verificationMethod '" + std::string(requested_key_id) +
                                                     "' is not in assertionMethod (cannot sign challenges)");
  }
  return sel;
}

DidResult<ReceiptKey> receipt_key_for_algorithm(const DidDocument& doc, std::string_view requested_key_id,
                                                std::string_view requested_alg) {
  auto sel = select_key_for_algorithm(doc, requested_key_id, requested_alg);
  if (!sel) return fail(std::move(sel).error());
  return ReceiptKey{std::move(*sel), !is_assertion_method(doc, requested_key_id)};
}

ZResult<ResolvedSigningKey> resolve_signature_key(std::string_view doc_json, std::string_view expected_did,
                                                  std::string_view key_id, std::string_view declared_alg,
                                                  bool require_assertion) {
  auto doc = parse_did_document(doc_json);
  if (!doc) return fail(key_error("DID document parse: " + doc.error().display()));
  if (doc->id != expected_did) {
    return fail(key_error("DID document id '" + doc->id + "' \u2260 expected DID '" + std::string(expected_did) + "'"));
  }
  const auto fragment = url_fragment(key_id);
  if (!fragment || fragment->empty()) {
    return fail(key_error("signature key_id '" + std::string(key_id) + "' has no fragment"));
  }
  const VerificationMethod* m = find_method_by_fragment(*doc, *fragment);
  if (!m) {
    return fail(key_error("DID document has no verificationMethod '#" + std::string(*fragment) +
                          "' \u2014 retired receipt keys must remain in verificationMethod indefinitely "
                          "(RFC-ZELQ-0010 \u00a7" "9); full removal is the compromise-revocation signal, fail closed"));
  }
  if (auto alg = method_algorithm(*m); alg && *alg != declared_alg) {
    return fail(ZelqError::text(ErrorKind::UnsupportedAlgorithm,
                                "signature declares '" + std::string(declared_alg) + "' but verificationMethod '" +
                                    m->id + "' is '" + std::string(*alg) +
                                    "' (RFC-ZELQ-0008 \u00a7" "3.9 algorithm-downgrade defense)"));
  }
  const bool asserted = is_assertion_method(*doc, key_id);
  if (require_assertion && !asserted) {
    return fail(ZelqError::text(ErrorKind::KeyNotAuthorized, "verificationMethod '" + std::string(key_id) +
                                                                 "' is not referenced by assertionMethod (RFC-ZELQ-0001 \u00a7" "5.11)"));
  }
  const auto algorithm = crypto::algorithm_from_name(declared_alg);
  if (!algorithm) {
    return fail(ZelqError::text(ErrorKind::UnsupportedAlgorithm,
                                "unsupported signature algorithm '" + std::string(declared_alg) + "'"));
  }
  auto key = method_public_key(*m, *algorithm);
  if (!key) return fail(key_error("key extraction: " + key.error().display()));
  return ResolvedSigningKey{std::move(*key), !asserted};
}

}  // namespace zelq::did
