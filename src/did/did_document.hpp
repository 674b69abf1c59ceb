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

// One key entry. Wire names: id, type, controller, publicKeyJwk,
// publicKeyMultibase.
struct VerificationMethod {
  std::string id;
  std::string type;
  std::string controller;
  std::optional<json::Value> public_key_jwk;  // any JSON kind, kept whole
  std::optional<std::string> public_key_multibase;
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
};

// Wire names: id, verificationMethod, assertionMethod.
struct DidDocument {
  std::string id;
  std::vector<VerificationMethod> verification_method;
  std::vector<AssertionMethodRef> assertion_method;
};

// From JSON text: failures carry the line and column where they were found.
json::PResult<DidDocument> parse_did_document(std::string_view text);
// From a parsed value (whose objects already hold one entry per name):
// failures carry no position.
json::PResult<DidDocument> did_document_from_value(const json::Value& value);

// Reads `text` and pins it to the DID the caller asked for: parse_failed for
// an unreadable document or an empty id, id_mismatch for another DID.
DidResult<DidDocument> parse_pinned_did_document(std::string_view text, std::string_view expected_did);

}  // namespace zelq::did
