#include "did/did_document.hpp"

#include "core/json/record.hpp"

namespace zelq::did {

namespace {

using json::Field;
using json::PResult;
using json::Presence;
using json::Reader;
using json::Record;
using json::Unknown;
using json::Value;

constexpr Field<VerificationMethod> kMethodFields[] = {
    json::string_field<VerificationMethod, &VerificationMethod::id>("id"),
    json::string_field<VerificationMethod, &VerificationMethod::type>("type"),
    json::string_field<VerificationMethod, &VerificationMethod::controller>("controller"),
    json::opt_value_field<VerificationMethod, &VerificationMethod::public_key_jwk>("publicKeyJwk"),
    json::opt_string_field<VerificationMethod, &VerificationMethod::public_key_multibase>("publicKeyMultibase"),
};
constexpr Record<VerificationMethod> kMethod{"VerificationMethod", kMethodFields, Unknown::Ignore, true};

constexpr std::string_view kAssertionEnum = "AssertionMethodRef";

PResult<VerificationMethod> read_method(Reader& r) { return json::read_record(r, kMethod); }
PResult<VerificationMethod> method_of(const Value& v) { return json::read_record(v, kMethod); }

// The entry is captured whole first (so malformed JSON fails where it is),
// then tried as a reference and as an embedded method. The embedded reading
// goes over the captured text rather than the parsed value, so that a member
// repeated inside the entry is refused as it is anywhere else in the text.
PResult<AssertionMethodRef> read_assertion(Reader& r) {
  r.peek_ws();
  const std::size_t start = r.index();
  auto v = r.parse_value();
  if (!v) return fail(std::move(v).error());
  if (v->is_string()) return AssertionMethodRef{std::move(v->as_string())};
  auto m = json::parse_record(r.text().substr(start, r.index() - start), kMethod);
  if (!m) return fail(json::untagged_mismatch(kAssertionEnum));
  return AssertionMethodRef{std::move(*m)};
}

PResult<AssertionMethodRef> assertion_of(const Value& v) {
  if (v.is_string()) return AssertionMethodRef{v.as_string()};
  auto m = method_of(v);
  if (!m) return fail(json::untagged_mismatch(kAssertionEnum));
  return AssertionMethodRef{std::move(*m)};
}

template <class E, std::vector<E> DidDocument::*M, PResult<E> (*Elem)(Reader&)>
PResult<void> text_list(Reader& r, DidDocument& d) {
  auto v = json::read_seq<E>(r, Elem);
  if (!v) return fail(std::move(v).error());
  d.*M = std::move(*v);
  return {};
}

template <class E, std::vector<E> DidDocument::*M, PResult<E> (*Elem)(const Value&)>
PResult<void> value_list(const Value& v, DidDocument& d) {
  auto l = json::seq_of<E>(v, Elem);
  if (!l) return fail(std::move(l).error());
  d.*M = std::move(*l);
  return {};
}

constexpr Field<DidDocument> kDocumentFields[] = {
    json::string_field<DidDocument, &DidDocument::id>("id"),
    {"verificationMethod", Presence::Defaulted,
     text_list<VerificationMethod, &DidDocument::verification_method, read_method>,
     value_list<VerificationMethod, &DidDocument::verification_method, method_of>},
    {"assertionMethod", Presence::Defaulted,
     text_list<AssertionMethodRef, &DidDocument::assertion_method, read_assertion>,
     value_list<AssertionMethodRef, &DidDocument::assertion_method, assertion_of>},
};
constexpr Record<DidDocument> kDocument{"DidDocument", kDocumentFields, Unknown::Ignore, true};

}  // namespace

PResult<DidDocument> parse_did_document(std::string_view text) { return json::parse_record(text, kDocument); }

PResult<DidDocument> did_document_from_value(const Value& value) { return json::read_record(value, kDocument); }

DidResult<DidDocument> parse_pinned_did_document(std::string_view text, std::string_view expected_did) {
  auto doc = parse_did_document(text);
  if (!doc) return did_fail(DidReason::ParseFailed, "DID document parse: " + doc.error().display());
  if (doc->id.empty()) return did_fail(DidReason::ParseFailed, "DID document missing required `id`");
  if (doc->id != expected_did) {
    return did_fail(DidReason::IdMismatch, "DID document id '" + doc->id + "' does not match requested DID '" +
                                               std::string(expected_did) + "'");
  }
  return std::move(*doc);
}

}  // namespace zelq::did
