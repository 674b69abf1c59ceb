// DID documents as the key rules need them: the document's id, its
// verification methods and its assertionMethod list. Everything else a DID
// document may carry (contexts, services, other relationships) is skipped.
// The records check shape only; what the members mean is judged by the key
// selection that reads them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

#include "core/boxed.hpp"
#include "core/json/value.hpp"
#include "core/json/reader.hpp"
#include "core/json/string_list.hpp"
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
// publicKeyMultibase. The JWK sits behind a pointer, so that a method
// without one (a document may hold them by the hundred thousand) costs a
// pointer and not the room of four texts.
struct VerificationMethod {
  std::string id;
  std::string type;
  std::string controller;
  Boxed<Jwk> public_key_jwk;  // present for a JWK of any JSON kind but null
  std::optional<std::string> public_key_multibase;
  bool operator==(const VerificationMethod&) const = default;
};

// One assertionMethod entry as the list hands it out: a DID URL (possibly
// relative, "#frag") exactly as written, or a method written in place. A
// view into the list, valid while the list lives unchanged.
struct AssertionMethodRef {
  std::string_view reference;                    // empty for an embedded method
  const VerificationMethod* embedded = nullptr;  // the method written in place, or nullptr

  bool is_reference() const { return embedded == nullptr; }
  // The reference text, or the embedded method's id.
  std::string_view id() const { return embedded ? std::string_view(embedded->id) : reference; }
};

// The assertionMethod list, in document order. An entry costs about what it
// holds: a reference is its bytes in one shared buffer and a small record;
// only an embedded entry holds a whole method. The containers grow in
// blocks, so the list never holds its entries twice while it grows.
class AssertionMethodList {
 public:
  void add_reference(std::string_view text);
  void add_embedded(VerificationMethod method);

  std::size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  AssertionMethodRef operator[](std::size_t i) const;
  bool operator==(const AssertionMethodList&) const = default;

 private:
  // An entry's place among the references, or with kEmbedded set, among
  // the methods.
  static constexpr std::size_t kEmbedded = std::size_t{1} << (sizeof(std::size_t) * 8 - 1);
  json::StringList references_;
  std::deque<std::size_t> entries_;
  std::deque<VerificationMethod> embedded_;
};

// Wire names: id, verificationMethod, assertionMethod.
struct DidDocument {
  std::string id;
  std::deque<VerificationMethod> verification_method;  // in blocks: no copy of the list while it grows
  AssertionMethodList assertion_method;
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
