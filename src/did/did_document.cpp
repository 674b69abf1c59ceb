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

// The JWK members the key rules read.
using JwkSlot = std::optional<std::string> Jwk::*;
struct JwkMember {
  std::string_view name;
  JwkSlot slot;
};
constexpr JwkMember kJwkMembers[] = {
    {"kty", &Jwk::kty}, {"crv", &Jwk::crv}, {"x", &Jwk::x}, {"y", &Jwk::y}};

JwkSlot jwk_slot(std::string_view name) {
  for (const auto& m : kJwkMembers)
    if (m.name == name) return m.slot;
  return nullptr;
}

// The JWK is read exactly as a value would be (the same failures at the same
// places, the same depth limit), but only its four members are kept: a large
// JWK costs no more memory than a small one.
PResult<void> text_jwk(Reader& r, VerificationMethod& m) {
  const int c = r.peek_ws();
  if (c != '{') {
    ZELQ_TRY(json::read_value_text(r));
    if (c == 'n') m.public_key_jwk.reset();  // null, the only value that reads from an 'n'
    else m.public_key_jwk = Jwk{};
    return {};
  }
  Jwk jwk;
  auto read = json::read_object_members(r, [&](std::string_view key) -> PResult<void> {
    const JwkSlot slot = jwk_slot(key);
    if (slot && r.peek_ws() == '"') {
      r.eat();
      auto s = r.parse_string_body();
      if (!s) return fail(std::move(s).error());
      jwk.*slot = std::move(*s);
      return {};
    }
    ZELQ_TRY(json::read_value_text(r));
    if (slot) (jwk.*slot).reset();  // a later non-string hides an earlier string
    return {};
  });
  if (!read) return fail(std::move(read).error());
  m.public_key_jwk = std::move(jwk);
  return {};
}

PResult<void> value_jwk(const Value& v, VerificationMethod& m) {
  if (v.is_null()) {
    m.public_key_jwk.reset();
    return {};
  }
  Jwk jwk;
  for (const auto& member : kJwkMembers)
    if (const Value* s = v.get(member.name); s && s->is_string()) jwk.*member.slot = s->as_string();
  m.public_key_jwk = std::move(jwk);
  return {};
}

// The value road reads those four members of a JWK and no other.
const json::Prune* jwk_prune() {
  static const json::Prune p = [] {
    json::Prune out;
    for (const auto& m : kJwkMembers) {
      out.names.push_back(m.name);
      out.nested.push_back(json::kind_prune());
    }
    out.unnamed = json::Unnamed::Drop;
    return out;
  }();
  return &p;
}

constexpr Field<VerificationMethod> kMethodFields[] = {
    json::string_field<VerificationMethod, &VerificationMethod::id>("id"),
    json::string_field<VerificationMethod, &VerificationMethod::type>("type"),
    json::string_field<VerificationMethod, &VerificationMethod::controller>("controller"),
    {"publicKeyJwk", Presence::Optional, text_jwk, value_jwk, nullptr, nullptr, jwk_prune},
    json::opt_string_field<VerificationMethod, &VerificationMethod::public_key_multibase>("publicKeyMultibase"),
};
constexpr Record<VerificationMethod> kMethod{"VerificationMethod", kMethodFields, Unknown::Ignore, true};

constexpr std::string_view kAssertionEnum = "AssertionMethodRef";

PResult<VerificationMethod> read_method(Reader& r) { return json::read_record(r, kMethod); }
PResult<VerificationMethod> method_of(const Value& v) { return json::read_record(v, kMethod); }

// A string is a reference, kept as written. Anything else is read through
// whole first (so malformed JSON fails where it is, and nothing is built),
// then tried as an embedded method over its text, so that a member repeated
// inside the entry is refused as it is anywhere else in the text.
PResult<void> read_assertion(Reader& r, AssertionMethodList& out) {
  if (r.peek_ws() == '"') {
    bool escaped = false;
    auto s = json::read_string_view(r, escaped);
    if (!s) return fail(std::move(s).error());
    out.add_reference(*s);
    return {};
  }
  auto text = json::read_value_text(r);
  if (!text) return fail(std::move(text).error());
  auto m = json::parse_record(*text, kMethod);
  if (!m) return fail(json::untagged_mismatch(kAssertionEnum));
  out.add_embedded(std::move(*m));
  return {};
}

PResult<void> assertion_of(const Value& v, AssertionMethodList& out) {
  if (v.is_string()) {
    out.add_reference(v.as_string());
    return {};
  }
  auto m = method_of(v);
  if (!m) return fail(json::untagged_mismatch(kAssertionEnum));
  out.add_embedded(std::move(*m));
  return {};
}

PResult<void> read_method_into(Reader& r, std::deque<VerificationMethod>& out) {
  auto m = read_method(r);
  if (!m) return fail(std::move(m).error());
  out.push_back(std::move(*m));
  return {};
}

PResult<void> method_into(const Value& v, std::deque<VerificationMethod>& out) {
  auto m = method_of(v);
  if (!m) return fail(std::move(m).error());
  out.push_back(std::move(*m));
  return {};
}

// A list member: each element read straight into the document's list, the
// first failing one ending the reading. (The member is read at most once:
// a second occurrence is refused before its value is looked at.)
template <auto M, auto Add>
PResult<void> text_list(Reader& r, DidDocument& d) {
  return json::for_each_in_seq(r, [&](Reader& at) { return Add(at, d.*M); });
}

// Both lists are read from a value an element at a time, each element a
// method or, for assertionMethod, a reference: an argument read for a
// document keeps them as text, and no list is built whole.
constexpr auto kElementPrune = &json::prune_of<VerificationMethod, kMethod>;
constexpr auto kListPrune = &json::list_prune<kElementPrune>;

template <auto M, auto Add>
PResult<void> value_list(const Value& v, DidDocument& d) {
  if (!v.is_array()) return fail(json::invalid_type(v, "a sequence"));
  return json::for_each_element(v.as_array(), kElementPrune(), [&](const Value& e) -> PResult<bool> {
    auto added = Add(e, d.*M);
    if (!added) return fail(std::move(added).error());
    return true;
  });
}

constexpr Field<DidDocument> kDocumentFields[] = {
    json::string_field<DidDocument, &DidDocument::id>("id"),
    {"verificationMethod", Presence::Defaulted,
     text_list<&DidDocument::verification_method, read_method_into>,
     value_list<&DidDocument::verification_method, method_into>, nullptr, nullptr, kListPrune},
    {"assertionMethod", Presence::Defaulted,
     text_list<&DidDocument::assertion_method, read_assertion>,
     value_list<&DidDocument::assertion_method, assertion_of>, nullptr, nullptr, kListPrune},
};
constexpr Record<DidDocument> kDocument{"DidDocument", kDocumentFields, Unknown::Ignore, true};

}  // namespace

void AssertionMethodList::add_reference(std::string_view text) {
  entries_.push_back(references_.size());
  references_.push_back(text);
}

void AssertionMethodList::add_embedded(VerificationMethod method) {
  entries_.push_back(embedded_.size() | kEmbedded);
  embedded_.push_back(std::move(method));
}

AssertionMethodRef AssertionMethodList::operator[](std::size_t i) const {
  const std::size_t e = entries_[i];
  if (e & kEmbedded) return AssertionMethodRef{{}, &embedded_[e & ~kEmbedded]};
  return AssertionMethodRef{references_[e], nullptr};
}

PResult<DidDocument> parse_did_document(std::string_view text) { return json::parse_record(text, kDocument); }

const json::Prune* did_document_prune() { return json::prune_of<DidDocument, kDocument>(); }

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
