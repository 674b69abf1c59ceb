// DID documents on both reading roads, signature-key resolution for signed
// registry artefacts, and the did:web authority form.
#include <gtest/gtest.h>

#include <string>

#include "core/codec.hpp"
#include "core/json/reader.hpp"
#include "crypto/ed25519.hpp"
#include "crypto/p256.hpp"
#include "did/did_document.hpp"
#include "did/did_key.hpp"
#include "did/did_web.hpp"
#include "did/key_select.hpp"
#include "core/json/writer.hpp"

using namespace zelq;
using namespace zelq::did;

namespace {

std::string text_road(std::string_view text) {
  auto r = parse_did_document(text);
  return r.ok() ? "ok" : r.error().display();
}

std::string value_road(std::string_view text) {
  auto v = json::parse(text);
  if (!v) return "bad json: " + v.error().display();
  auto r = did_document_from_value(*v);
  return r.ok() ? "ok" : r.error().display();
}

std::optional<Jwk> kept_jwk(const VerificationMethod& m) {
  return m.public_key_jwk ? std::optional<Jwk>(*m.public_key_jwk) : std::nullopt;
}

// RFC 8032 test 1 public key.
const char* kEdHex = "d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a";

Bytes ed_key() { return *hex_decode(kEdHex); }

std::string ed_multibase() {
  Bytes b{0xed, 0x01};
  Bytes k = ed_key();
  b.insert(b.end(), k.begin(), k.end());
  return "z" + base58_encode(b);
}

Bytes coord(std::uint8_t fill) { return Bytes(32, fill); }

std::string p256_jwk() {
  return R"({"kty":"EC","crv":"P-256","x":")" + base64url_encode(coord(1)) + R"(","y":")" +
         base64url_encode(coord(2)) + R"("})";
}

std::string registry_doc(std::string_view assertion = R"(["#k1"])") {
  return R"({"id":"did:web:reg.example","verificationMethod":[)"
         R"({"id":"did:web:reg.example#k1","type":"Ed25519VerificationKey2020","controller":"did:web:reg.example","publicKeyMultibase":")" +
         ed_multibase() +
         R"("},)"
         R"({"id":"did:web:reg.example#p1","type":"JsonWebKey2020","controller":"did:web:reg.example","publicKeyJwk":)" +
         p256_jwk() + R"(},)"
         R"({"id":"did:web:reg.example#bad","type":"Multikey","controller":"did:web:reg.example","publicKeyMultibase":"m"}],)"
         R"("assertionMethod":)" +
         std::string(assertion) + "}";
}

std::string resolve_error(std::string_view key_id, std::string_view alg, bool require, std::string_view doc = "",
                          std::string_view expected = "did:web:reg.example") {
  std::string d = doc.empty() ? registry_doc() : std::string(doc);
  auto r = resolve_signature_key(d, expected, key_id, alg, require);
  if (r.ok()) return "ok";
  return std::string(error_kind_name(r.error().kind())) + ": " + r.error().display();
}

}  // namespace

TEST(DidDocumentRecord, TextRoadShapesAndMessages) {
  struct Case {
    const char* text;
    const char* error;
  };
  const Case cases[] = {
      {R"({"id":"did:web:a"})", "ok"},
      {R"(  {"id":""}  )", "ok"},
      {R"({"id":"a"} x)", "trailing characters at line 1 column 12"},
      {R"({})", "missing field `id` at line 1 column 2"},
      {R"({"ID":"a","VerificationMethod":5})", "missing field `id` at line 1 column 33"},
      {R"({"id":null})", "invalid type: null, expected a string at line 1 column 10"},
      {R"({"id":"a","verificationMethod":null})", "invalid type: null, expected a sequence at line 1 column 35"},
      {R"({"id":"a","assertionMethod":[]})", "ok"},
      {R"({"id":"a","verificationMethod":[],"verificationMethod":[]})",
       "duplicate field `verificationMethod` at line 1 column 54"},
      {R"({"@context":["x",{"y":[1,{}]}],"service":[{"id":"s"}],"id":"a","keyAgreement":["#k"]})", "ok"},
      {"5", "invalid type: integer `5`, expected struct DidDocument at line 1 column 1"},
      {R"(["a"])", "ok"},
      {R"([])", "invalid length 0, expected struct DidDocument with 3 elements at line 1 column 2"},
      {R"(["a",[],[],1])", "trailing characters at line 1 column 12"},
      // Methods.
      {R"({"id":"a","verificationMethod":[{"id":"k","type":"t"}]})", "missing field `controller` at line 1 column 53"},
      {R"({"id":"a","verificationMethod":[{"id":"k"}]})", "missing field `type` at line 1 column 42"},
      {R"({"id":"a","verificationMethod":[{"id":"k","type":"t","controller":"c","publicKeyMultibase":5}]})",
       "invalid type: integer `5`, expected a string at line 1 column 92"},
      {R"({"id":"a","verificationMethod":[{"id":"k","type":"t","controller":"c","publicKeyJwk":null,"publicKeyJwk":{}}]})",
       "duplicate field `publicKeyJwk` at line 1 column 104"},
      {R"({"id":"a","verificationMethod":[{"id":"k","type":"t","controller":"c","publicKeyJwk":"text"}]})", "ok"},
      {R"({"id":"a","verificationMethod":[["k","t","c",null,null]]})", "ok"},
      {R"({"id":"a","verificationMethod":[["k","t","c",null]]})",
       "invalid length 4, expected struct VerificationMethod with 5 elements at line 1 column 50"},
      {R"({"id":"a","verificationMethod":["k"]})",
       "invalid type: string \"k\", expected struct VerificationMethod at line 1 column 35"},
      // assertionMethod entries.
      {R"({"id":"a","assertionMethod":["#k",{"id":"k","type":"t","controller":"c"},["k","t","c",null,"z"]]})", "ok"},
      {R"({"id":"a","assertionMethod":[null]})",
       "data did not match any variant of untagged enum AssertionMethodRef at line 1 column 34"},
      {R"({"id":"a","assertionMethod":[{"id":"k","type":"t"}]})",
       "data did not match any variant of untagged enum AssertionMethodRef at line 1 column 51"},
      {R"({"id":"a","assertionMethod":[{"id":"k","id":"k","type":"t","controller":"c"}]})",
       "data did not match any variant of untagged enum AssertionMethodRef at line 1 column 77"},
      {R"({"id":"a","assertionMethod":[{"id":"k",}]})", "trailing comma at line 1 column 40"},
  };
  for (const auto& c : cases) EXPECT_EQ(text_road(c.text), c.error) << c.text;
}

TEST(DidDocumentRecord, ValueRoadKeepsLastMemberAndAddsNoPosition) {
  auto v = json::parse(R"({"id":"first","id":"last"})");
  ASSERT_TRUE(v.ok());
  auto doc = did_document_from_value(*v);
  ASSERT_TRUE(doc.ok());
  EXPECT_EQ(doc->id, "last");

  EXPECT_EQ(value_road(R"({"verificationMethod":[]})"), "missing field `id`");
  EXPECT_EQ(value_road(R"({"id":"a","verificationMethod":null})"), "invalid type: null, expected a sequence");
  EXPECT_EQ(value_road(R"(["a",[],[],1])"), "invalid length 4, expected fewer elements in array");
  EXPECT_EQ(value_road(R"({"id":"a","verificationMethod":[["k","t","c",null,null,1]]})"),
            "invalid length 6, expected fewer elements in array");
  EXPECT_EQ(value_road(R"({"id":"a","assertionMethod":[{"id":"k","type":"t"}]})"),
            "data did not match any variant of untagged enum AssertionMethodRef");
  // One value per name: a member repeated in the text is no longer repeated.
  EXPECT_EQ(value_road(R"({"id":"a","assertionMethod":[{"id":"k","id":"k","type":"t","controller":"c"}]})"), "ok");
  EXPECT_EQ(value_road(R"(true)"), "invalid type: boolean `true`, expected struct DidDocument");
}

TEST(DidDocumentRecord, EntriesAreKeptInOrderWithTheirForms) {
  const std::string text =
      R"({"id":"did:web:a","verificationMethod":[{"id":"#k","type":"t","controller":"c","publicKeyJwk":[1,"x"]},)"
      R"({"id":"#m","type":"t","controller":"c","publicKeyJwk":null,"publicKeyMultibase":null}],)"
      R"("assertionMethod":["did:web:a#k",{"id":"e","type":"t","controller":"c"},"#\u006b\"",["p","u","c",null,null],""]})";
  auto doc = parse_did_document(text);
  ASSERT_TRUE(doc.ok());
  ASSERT_EQ(doc->verification_method.size(), 2u);
  EXPECT_EQ(kept_jwk(doc->verification_method[0]), Jwk{});
  EXPECT_EQ(doc->verification_method[1].id, "#m");
  EXPECT_FALSE(doc->verification_method[1].public_key_jwk);
  EXPECT_FALSE(doc->verification_method[1].public_key_multibase);
  // Each entry in its place: references as written (escapes read), embedded
  // methods whole.
  const struct {
    bool reference;
    std::string_view id, type;
  } entries[] = {{true, "did:web:a#k", ""}, {false, "e", "t"}, {true, "#k\"", ""}, {false, "p", "u"}, {true, "", ""}};
  ASSERT_EQ(doc->assertion_method.size(), std::size(entries));
  for (std::size_t i = 0; i < std::size(entries); ++i) {
    const AssertionMethodRef a = doc->assertion_method[i];
    EXPECT_EQ(a.is_reference(), entries[i].reference) << i;
    EXPECT_EQ(a.id(), entries[i].id) << i;
    if (!a.is_reference()) {
      EXPECT_EQ(a.embedded->type, entries[i].type) << i;
    }
  }
  auto by_value = did_document_from_value(*json::parse(text));
  ASSERT_TRUE(by_value.ok());
  EXPECT_EQ(*by_value, *doc);
}

// Only the string members the key rules read are kept, by the last
// occurrence of their name, the same on both roads.
TEST(DidDocumentRecord, JwkKeepsItsFourStringMembersOnBothRoads) {
  const struct {
    const char* jwk;
    std::optional<Jwk> kept;
  } rows[] = {
      {"null", std::nullopt},
      {"{}", Jwk{}},
      {R"([1,"x"])", Jwk{}},
      {R"("text")", Jwk{}},
      {R"({"kty":"EC","crv":"P-256","x":"a","y":"b","d":"s"})", Jwk{"EC", "P-256", "a", "b"}},
      {R"({"kty":"EC","crv":5,"x":{"x":"no"},"KTY":"no"})", Jwk{"EC", {}, {}, {}}},
      {R"({"x":"a","x":null,"y":1,"y":"b"})", Jwk{{}, {}, {}, "b"}},
  };
  for (const auto& row : rows) {
    const std::string text =
        std::string(R"({"id":"a","verificationMethod":[{"id":"k","type":"t","controller":"c","publicKeyJwk":)") +
        row.jwk + "}]}";
    auto by_text = parse_did_document(text);
    ASSERT_TRUE(by_text.ok()) << row.jwk;
    EXPECT_EQ(kept_jwk(by_text->verification_method[0]), row.kept) << row.jwk;
    auto by_value = did_document_from_value(*json::parse(text));
    ASSERT_TRUE(by_value.ok()) << row.jwk;
    EXPECT_EQ(*by_value, *by_text) << row.jwk;
  }
}

TEST(ResolveSignatureKey, ResolvesBothAlgorithmsAndTheHistoricalFlag) {
  auto ed = resolve_signature_key(registry_doc(), "did:web:reg.example", "did:web:reg.example#k1", "ed25519", true);
  ASSERT_TRUE(ed.ok()) << ed.error().display();
  EXPECT_FALSE(ed->historical);
  const auto& edk = std::get<crypto::Ed25519PublicKey>(ed->key);
  EXPECT_EQ(hex_encode(edk), kEdHex);

  // The P-256 key is not in assertionMethod: historical, unless required.
  auto p = resolve_signature_key(registry_doc(), "did:web:reg.example", "#p1", "ecdsa-p256", false);
  ASSERT_TRUE(p.ok()) << p.error().display();
  EXPECT_TRUE(p->historical);
  const auto& pk = std::get<crypto::P256Uncompressed>(p->key);
  EXPECT_EQ(pk[0], 0x04);
  EXPECT_EQ(pk[1], 1);
  EXPECT_EQ(pk[64], 2);
}

TEST(ResolveSignatureKey, EveryRefusalInItsOrder) {
  const std::string reg = "did:web:reg.example";
  struct Case {
    std::string key_id, alg;
    bool require;
    std::string expected;
  };
  const Case cases[] = {
      {"#k1", "ed25519", false, "ok"},
      {reg, "ed25519", false, "KeyResolution: key resolution failed: signature key_id 'did:web:reg.example' has no fragment"},
      {reg + "#", "ed25519", false, "KeyResolution: key resolution failed: signature key_id 'did:web:reg.example#' has no fragment"},
      {reg + "#gone", "ed25519", false,
       "KeyResolution: key resolution failed: DID document has no verificationMethod '#gone' \u2014 retired receipt keys "
       "must remain in verificationMethod indefinitely (RFC-ZELQ-0010 \u00a79); full removal is the "
       "compromise-revocation signal, fail closed"},
      // The method names its algorithm: any other declared one is a downgrade.
      {reg + "#k1", "ecdsa-p256", false,
       "UnsupportedAlgorithm: unsupported algorithm: signature declares 'ecdsa-p256' but verificationMethod "
       "'did:web:reg.example#k1' is 'ed25519' (RFC-ZELQ-0008 \u00a73.9 algorithm-downgrade defense)"},
      {reg + "#k1", "rsa", false,
       "UnsupportedAlgorithm: unsupported algorithm: signature declares 'rsa' but verificationMethod "
       "'did:web:reg.example#k1' is 'ed25519' (RFC-ZELQ-0008 \u00a73.9 algorithm-downgrade defense)"},
      {reg + "#p1", "ecdsa-p256", true,
       "KeyNotAuthorized: key not authorized: verificationMethod 'did:web:reg.example#p1' is not referenced by "
       "assertionMethod (RFC-ZELQ-0001 \u00a75.11)"},
      // The method does not say: the declared algorithm is checked last.
      {reg + "#bad", "rsa", false, "UnsupportedAlgorithm: unsupported algorithm: unsupported signature algorithm 'rsa'"},
      {reg + "#bad", "ed25519", false,
       "KeyResolution: key resolution failed: key extraction: key resolution failed: only 'z' (base58btc) "
       "multibase prefix is supported"},
  };
  for (const auto& c : cases) EXPECT_EQ(resolve_error(c.key_id, c.alg, c.require), c.expected) << c.key_id;

  EXPECT_EQ(resolve_error("#k1", "ed25519", false, registry_doc(), "did:web:other"),
            "KeyResolution: key resolution failed: DID document id 'did:web:reg.example' \u2260 expected DID "
            "'did:web:other'");
  EXPECT_EQ(resolve_error("#k1", "ed25519", false, R"({"id":"x",})"),
            "KeyResolution: key resolution failed: DID document parse: trailing comma at line 1 column 11");
  // With no assertionMethod every key is historical, and a required assertion fails.
  auto none = resolve_signature_key(registry_doc("[]"), reg, "#k1", "ed25519", false);
  ASSERT_TRUE(none.ok());
  EXPECT_TRUE(none->historical);
  EXPECT_EQ(resolve_error("#k1", "ed25519", true, registry_doc("[]")).substr(0, 17), "KeyNotAuthorized:");
}

TEST(DidWeb, AuthorityFormRoundTripsThroughTheDocumentUrl) {
  EXPECT_EQ(did_web_from_authority("example.com"), "did:web:example.com");
  EXPECT_EQ(did_web_from_authority("example.com:8443"), "did:web:example.com%3A8443");
  EXPECT_EQ(did_web_from_authority("a:b:c"), "did:web:a%3Ab%3Ac");
  auto url = web_to_url(did_web_from_authority("registry.example:8443"));
  ASSERT_TRUE(url.ok());
  EXPECT_EQ(*url, "https://registry.example:8443/.well-known/did.json");
  // And back: only the upper-case "%3A" that the encoding writes is read as ":".
  for (std::string_view authority : {"example.com", "registry.example:8443", "a:b:c", ""}) {
    EXPECT_EQ(derive_authority_from_registry_did(did_web_from_authority(authority)), authority);
  }
  EXPECT_EQ(derive_authority_from_registry_did("did:web:h%3a1%2F:path%3A2"), "h%3a1%2F");
  EXPECT_EQ(derive_authority_from_registry_did("did:key:z6Mk"), std::nullopt);
  EXPECT_EQ(derive_authority_from_registry_did("DID:WEB:h"), std::nullopt);
}

// A did:key identifier and the DID document that spells out the same key
// give the same key bytes.
TEST(DidDocumentKeys, AgreeWithDidKeyDecoding) {
  Bytes seed = *hex_decode("9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031cae7f60");
  auto ed = crypto::Ed25519SigningKey::from_seed(Secret32(std::span<const std::uint8_t, 32>(seed.data(), 32)));
  const std::string ed_did = did_key_from_ed25519(ed.public_key());
  const std::string ed_id = ed_did.substr(8);

  auto p256 = crypto::p256_signing_key_from_bytes(std::span<const std::uint8_t, 32>(seed.data(), 32));
  ASSERT_TRUE(p256.ok());
  const auto& q = p256->public_uncompressed();
  auto p_did = did_key_from_p256(q);
  ASSERT_TRUE(p_did.ok());
  const std::string p_id = p_did->substr(8);
  const std::string jwk = R"({"kty":"EC","crv":"P-256","x":")" + base64url_encode(std::span(q).subspan(1, 32)) +
                          R"(","y":")" + base64url_encode(std::span(q).subspan(33, 32)) + R"("})";

  struct Case {
    std::string did, method, alg;
  };
  const Case cases[] = {
      {ed_did, R"("type":"Ed25519VerificationKey2020","publicKeyMultibase":")" + ed_id + "\"", "ed25519"},
      {ed_did, R"("type":"Multikey","publicKeyMultibase":")" + ed_id + "\"", "ed25519"},
      {*p_did, R"("type":"JsonWebKey2020","publicKeyJwk":)" + jwk, "ecdsa-p256"},
  };
  for (const auto& c : cases) {
    const std::string id = c.did.substr(8);
    const std::string kid = c.did + "#" + id;
    const std::string text = R"({"id":")" + c.did + R"(","verificationMethod":[{"id":")" + kid +
                             R"(","controller":")" + c.did + "\"," + c.method + R"(}],"assertionMethod":[")" + kid +
                             "\"]}";
    auto doc = parse_pinned_did_document(text, c.did);
    ASSERT_TRUE(doc.ok()) << doc.error().message;
    auto sel = key_for_algorithm(*doc, kid, c.alg);
    ASSERT_TRUE(sel.ok()) << sel.error().message;

    auto from_did = decode_did_key(id);
    ASSERT_TRUE(from_did.ok());
    Bytes expected(from_did->bytes().begin(), from_did->bytes().end());
    if (from_did->kind() == DidKeyPublicKey::Kind::P256) {
      auto point = crypto::P256PublicKey::from_sec1(expected);
      ASSERT_TRUE(point);
      expected.assign(point->uncompressed().begin(), point->uncompressed().end());
    }
    EXPECT_EQ(sel->public_key_b64, base64_encode(expected)) << c.method;
    auto resolved = resolve_signature_key(text, c.did, kid, c.alg, true);
    ASSERT_TRUE(resolved.ok());
    EXPECT_FALSE(resolved->historical);
  }
}
