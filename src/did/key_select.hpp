// Choosing the verification method that a key id names, deciding its
// algorithm, decoding its public key, and asking whether assertionMethod
// authorizes it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/error.hpp"
#include "crypto/ed25519.hpp"
#include "crypto/p256.hpp"
#include "crypto/verify.hpp"
#include "did/did_document.hpp"
#include "did/did_key.hpp"
#include "did/did_error.hpp"

namespace zelq::did {

// The first method whose id, after its last "#", equals `fragment`; methods
// whose id has no "#" never match.
const VerificationMethod* find_method_by_fragment(const DidDocument& doc, std::string_view fragment);

// Whether an assertionMethod entry names `key_id`; relative ids ("#frag") on
// either side are taken under the document id.
bool is_assertion_method(const DidDocument& doc, std::string_view key_id);

// "ed25519", "ecdsa-p256", or nothing when the method does not say.
std::optional<std::string_view> method_algorithm(const VerificationMethod& m);

// The key bytes; failures are KeyResolution errors. A JWK, when present,
// decides alone for Ed25519; P-256 is read from a JWK only.
ZResult<crypto::Ed25519PublicKey> ed25519_public_key(const VerificationMethod& m);
ZResult<crypto::P256Uncompressed> p256_public_key(const VerificationMethod& m);  // SEC1, 0x04 || x || y
// The key of the algorithm a signature declares, by the reader above.
ZResult<crypto::PublicKey> method_public_key(const VerificationMethod& m, crypto::KeyAlgorithm algorithm);

struct KeySelection {
  std::string key_id;          // the matched method's id as the document writes it
  std::string public_key_b64;  // standard base64 of the raw key
};

// Algorithm name, then lookup, then the downgrade test, then decoding.
DidResult<KeySelection> select_key_for_algorithm(const DidDocument& doc, std::string_view requested_key_id,
                                                 std::string_view requested_alg);

// For producer keys: the selection, and the method must be authorized by
// assertionMethod.
DidResult<KeySelection> key_for_algorithm(const DidDocument& doc, std::string_view requested_key_id,
                                          std::string_view requested_alg);

struct ReceiptKey {
  KeySelection key;
  bool historical;  // not (or no longer) referenced by assertionMethod
};

// For registry receipt keys: a key retired from assertionMethod still
// resolves, reported as historical.
DidResult<ReceiptKey> receipt_key_for_algorithm(const DidDocument& doc, std::string_view requested_key_id,
                                                std::string_view requested_alg);

struct ResolvedSigningKey {
  crypto::PublicKey key;
  bool historical;
};

// The key that may verify a signed registry artefact, from the signer's DID
// document text.
ZResult<ResolvedSigningKey> resolve_signature_key(std::string_view doc_json, std::string_view expected_did,
                                                  std::string_view key_id, std::string_view declared_alg,
                                                  bool require_assertion);

}  // namespace zelq::did
