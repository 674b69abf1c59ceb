// DID documents as the key rules need them: the document's id, its
// verification methods and its assertionMethod list. Everything else a DID
// document may carry (contexts, services, other relationships) is skipped.
// The records check shape only; what the members mean is judged by the key
// selection that reads them.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/json/value.hpp"
#include "core/json/reader.hpp"
#include "did/did_error.hpp"

namespace zelq::did {

// What the key rules read from a publicKeyJwk: its string members kty, crv,
// x and y. A member that is missing or not a JSON string, and every member
// of a JWK that is not an object, holds nothing; a name given twice counts
// by its last value, as in a parsed object. The rest of the JWK, however
// large, is read for its well-formedness and not kept.
struct Jwk {
  std::optional<std::string> kty;
  std::optional<std::string> crv;
  std::optional<std::string> x;
  std::optional<std::string> y;
  bool operator==(const Jwk&) const = default;
};

// One key entry. Wire names: id, type, controller, publicKeyJwk,
// publicKeyMultibase.
struct VerificationMethod {
  std::string id;
  std::string type;
  std::string controller;
  std::optional<Jwk> public_key_jwk;  // present for a JWK of any JSON kind but null
  std::optional<std::string> public_key_multibase;
  bool operator==(const VerificationMethod&) const = default;
};

// An assertionMethod entry: a DID URL (possibly relative, "#frag") or a
// method written in place.
struct AssertionMethodRef {
  std::variant<std::string, VerificationMethod> entry;

  bool is_reference() const { return entry.index() == 0; }
  // The reference text, or the embedded method's id.
  const std::string& id() const {
    return is_reference() ? std::get<0>(entry) : std::get<1>(entry).id;
  }
  bool operator==(const AssertionMethodRef&) const = default;
};

// Wire names: id, verificationMethod, assertionMethod.
struct DidDocument {
  std::string id;
  std::vector<VerificationMethod> verification_method;
  std::vector<AssertionMethodRef> assertion_method;
  bool operator==(const DidDocument&) const = default;
};

// From JSON text: failures carry the line and column where they were found.
json::PResult<DidDocument> parse_did_document(std::string_view text);
// From a parsed value (whose objects already hold one entry per name):
// failures carry no position.
json::PResult<DidDocument> did_document_from_value(const json::Value& value);
// What did_document_from_value reads of a value: an argument read with it
// keeps only that (of a JWK, the members key selection reads).
const json::Prune* did_document_prune();

// Reads `text` and pins it to the DID the caller asked for: parse_failed for
// an unreadable document or an empty id, id_mismatch for another DID.
DidResult<DidDocument> parse_pinned_did_document(std::string_view text, std::string_view expected_did);

}  // namespace zelq::did
