#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>

#include "core/content_hash.hpp"
#include "did/did_key.hpp"
#include "wire/validators.hpp"

namespace zelq::wire {
namespace {

const std::string kUuid = "123e4567-e89b-42d3-a456-426614174000";
const std::string kHex = std::string(32, 'a') + std::string(32, '0');

// The message of a failed validator, "" on success.
template <class R>
std::string msg(const R& r) {
  if (r.ok()) return "";
  EXPECT_EQ(r.error().kind(), ErrorKind::SchemaViolation);
  return r.error().message();
}

std::string labels(std::size_t n, std::size_t len) {
  std::string s;
  for (std::size_t i = 0; i < n; ++i) {
    if (i) s += '.';
    s += std::string(len, 'a');
  }
  return s;
}

TEST(Hostname, Boundaries) {
  std::string h253 = labels(3, 63) + "." + std::string(61, 'b');  // 3*63+2 + 1 + 61 = 253
  ASSERT_EQ(h253.size(), 253u);
  EXPECT_TRUE(is_lowercase_dns_hostname(h253));
  EXPECT_FALSE(is_lowercase_dns_hostname(h253 + "c"));
  EXPECT_TRUE(is_lowercase_dns_hostname(std::string(63, 'a')));
  EXPECT_FALSE(is_lowercase_dns_hostname(std::string(64, 'a')));
  EXPECT_FALSE(is_lowercase_dns_hostname(std::string(64, 'a') + ".b"));
}

TEST(Hostname, Labels) {
  for (const char* ok : {"a", "0.0", "r1.zone-2", "a-b.c", "123"}) EXPECT_TRUE(is_lowercase_dns_hostname(ok)) << ok;
  for (const char* bad : {"", ".", "a.", ".a", "a..b", "a-.b", "-a.b", "A.b", "a_b", "a b", "\xC3\xA9"})
    EXPECT_FALSE(is_lowercase_dns_hostname(bad)) << bad;
}

TEST(Uuid, Positions) {
  EXPECT_TRUE(is_lowercase_uuid_v4(kUuid));
  struct Edit {
    std::size_t at;
    char c;
    bool ok;
  } edits[] = {{14, '5', false}, {19, '8', true}, {19, '9', true}, {19, 'b', true},
               {19, 'c', false}, {0, 'A', false}, {8, 'a', false}};
  for (const auto& e : edits) {
    std::string u = kUuid;
    u[e.at] = e.c;
    EXPECT_EQ(is_lowercase_uuid_v4(u), e.ok) << u;
  }
  EXPECT_FALSE(is_lowercase_uuid_v4(kUuid.substr(1)));
  EXPECT_FALSE(is_lowercase_uuid_v4(kUuid + "0"));
}

TEST(CtxId, Messages) {
  const std::string ok = "zelq://a/" + kUuid;
  auto r = validate_ctx_id(ok);
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(*r, ok);
  auto owned = validate_ctx_id(std::string("zelq://reg.example/" + kUuid));
  ASSERT_TRUE(owned.ok());
  EXPECT_EQ(*owned, "zelq://reg.example/" + kUuid);

  struct Case {
    std::string in, want;
  } cases[] = {
      {"", "ctx_id must start with 'zelq://', got: "},
      {"ZELQ://a/" + kUuid, "ctx_id must start with 'zelq://', got: ZELQ://a/" + kUuid},
      {"zelq:/", "ctx_id must start with 'zelq://', got: zelq:/"},
      {"zelq://host", "ctx_id missing '/<uuid>': zelq://host"},
      {"zelq:///" + kUuid, "ctx_id authority '' is not a lowercase DNS hostname"},
      {"zelq://A.b/" + kUuid, "ctx_id authority 'A.b' is not a lowercase DNS hostname"},
      {"zelq://a_b/" + kUuid, "ctx_id authority 'a_b' is not a lowercase DNS hostname"},
      {"zelq://a./" + kUuid, "ctx_id authority 'a.' is not a lowercase DNS hostname"},
      {"zelq://host/" + kUuid + "/x", "ctx_id uuid '" + kUuid + "/x' is not a lowercase v4 UUID"},
      {"zelq://host/", "ctx_id uuid '' is not a lowercase v4 UUID"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(msg(validate_ctx_id(c.in)), c.want) << c.in;
    EXPECT_EQ(msg(validate_ctx_id(std::string(c.in))), c.want) << c.in;
    EXPECT_EQ(msg(CtxId::parse(c.in)), c.want) << c.in;
  }
  EXPECT_EQ(CtxId::parse("zelq://reg.example/" + kUuid)->authority(), "reg.example");
  auto e = validate_ctx_id(std::string_view(""));
  EXPECT_EQ(e.error().display(), "schema violation: ctx_id must start with 'zelq://', got: ");
}

TEST(CtxId, SplitAuthority) {
  EXPECT_EQ(split_ctx_id("zelq://reg.example/" + kUuid), "reg.example");
  EXPECT_EQ(split_ctx_id("zelq://reg.example"), "reg.example");
  EXPECT_EQ(split_ctx_id("zelq:///x"), "");
  EXPECT_EQ(split_ctx_id("http://x/y"), "");
  EXPECT_EQ(split_ctx_id(""), "");
}

TEST(ContentHash, Messages) {
  auto r = validate_content_hash("sha256:" + kHex);
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(*r, "sha256:" + kHex);
  std::string upper = kHex;
  upper[5] = 'A';
  struct Case {
    std::string in, want;
  } cases[] = {
      {"", "content_hash must start with 'sha256:', got: "},
      {"SHA256:" + kHex, "content_hash must start with 'sha256:', got: SHA256:" + kHex},
      {"sha256", "content_hash must start with 'sha256:', got: sha256"},
      {"sha256:", "content_hash digest must be 64 lowercase hex chars, got: "},
      {"sha256:" + kHex.substr(1), "content_hash digest must be 64 lowercase hex chars, got: " + kHex.substr(1)},
      {"sha256:" + kHex + "0", "content_hash digest must be 64 lowercase hex chars, got: " + kHex + "0"},
      {"sha256:" + upper, "content_hash digest must be 64 lowercase hex chars, got: " + upper},
      {"sha256:" + std::string(64, 'A'),
       "content_hash digest must be 64 lowercase hex chars, got: " + std::string(64, 'A')},
      {"sha256:" + std::string(64, 'g'),
       "content_hash digest must be 64 lowercase hex chars, got: " + std::string(64, 'g')},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(msg(validate_content_hash(c.in)), c.want) << c.in;
    EXPECT_EQ(msg(ContentHash::parse(c.in)), c.want) << c.in;
  }
}

TEST(LineageId, Messages) {
  EXPECT_EQ(msg(validate_lineage_id("lin:sha256:" + kHex)), "");
  EXPECT_EQ(msg(validate_lineage_id("sha256:" + kHex)), "lineage_id must start with 'lin:sha256:', got: sha256:" + kHex);
  EXPECT_EQ(msg(validate_lineage_id("lin:sha256:" + kHex.substr(2))),
            "lineage_id digest must be 64 lowercase hex chars, got: " + kHex.substr(2));
  EXPECT_TRUE(is_lowercase_hex64(kHex));
  EXPECT_FALSE(is_lowercase_hex64(kHex.substr(1)));
}

TEST(Did, Messages) {
  EXPECT_EQ(msg(validate_did("did:a:b")), "");
  EXPECT_EQ(msg(validate_did("did:web:host:path%2Fx")), "");
  EXPECT_EQ(msg(validate_did("did:web:A.b_c-d:e%")), "");
  std::string d2048 = "did:web:" + std::string(2040, 'x');
  EXPECT_EQ(msg(validate_did(d2048)), "");
  struct Case {
    std::string in, want;
  } cases[] = {
      {"", "DID length 0 not in 7..=2048"},
      {"did:ab", "DID length 6 not in 7..=2048"},
      {d2048 + "x", "DID length 2049 not in 7..=2048"},
      {"didweb:x", "DID missing 'did:' prefix: didweb:x"},
      {"did:webx", "DID must have method:id form: did:webx"},
      {"did::abc", "DID method '' must match [a-z0-9]+"},
      {"did:Web:x", "DID method 'Web' must match [a-z0-9]+"},
      {"did:web:", "DID method-specific id '' contains invalid characters"},
      {"did:web:a b", "DID method-specific id 'a b' contains invalid characters"},
      {"did:web:\xC3\xA9t\xC3\xA9", "DID method-specific id '\xC3\xA9t\xC3\xA9' contains invalid characters"},
  };
  for (const auto& c : cases) EXPECT_EQ(msg(validate_did(c.in)), c.want) << c.in;
}

std::string ed25519_did_key() {
  std::array<std::uint8_t, 32> key{};
  key[0] = 7;
  return did::did_key_from_ed25519(key);
}

std::string key_error(const ZResult<void>& r) {
  if (r.ok()) return "";
  EXPECT_EQ(r.error().kind(), ErrorKind::KeyResolution);
  return r.error().display();
}

TEST(ProducerDid, Rules) {
  const std::string did_key = ed25519_did_key();
  for (const std::string& ok : {std::string("did:web:example.com"), std::string("did:web:example.com:user:alice"), did_key})
    EXPECT_TRUE(validate_producer_did(ok).ok()) << ok;
  EXPECT_EQ(msg(validate_producer_did("did:example:abc")),
            "v0.1.0 producers MUST use did:web; got: did:example:abc");
  EXPECT_EQ(msg(validate_producer_did("did:key:")), "DID method-specific id '' contains invalid characters");
  EXPECT_EQ(msg(validate_producer_did("did:x")), "DID length 5 not in 7..=2048");
  // The key decoder's own verdicts pass through unchanged.
  EXPECT_EQ(key_error(validate_producer_did("did:key:abc")),
            "key resolution failed: did:key requires the 'z' (base58btc) multibase prefix, got 'abc'");
  EXPECT_EQ(key_error(validate_producer_did(did_key.substr(0, did_key.size() - 3))).rfind("key resolution failed: did:key ", 0), 0u);
}

TEST(KeyId, OnlyDidKeyIsResolved) {
  const std::string did_key = ed25519_did_key();
  const std::string id = did_key.substr(8);
  EXPECT_TRUE(validate_key_id(did_key + "#" + id).ok());
  EXPECT_TRUE(validate_key_id("did:web:x#k1").ok());
  EXPECT_TRUE(validate_key_id("anything").ok());
  EXPECT_EQ(key_error(validate_key_id(did_key)), "key resolution failed: key_id '" + did_key + "' has no '#fragment'");
  EXPECT_EQ(key_error(validate_key_id(did_key + "#zOther")),
            "key resolution failed: did:key fragment '#zOther' must equal the method-specific identifier '" + id +
                "' (the did:key document's only verification method is the key itself)");
}

TEST(Semver, Pattern) {
  for (const char* ok : {"0.4.0", "01.2.3", "10.20.30"}) EXPECT_TRUE(validate_semver(ok).ok()) << ok;
  for (const char* bad : {"", "1.2", "1.2.3.4", "1..3", "1.2.3-rc1", "v1.2.3", ".1.2", "1.2.", "\xD9\xA1.2.3"}) {
    EXPECT_EQ(msg(validate_semver(bad)),
              std::string("zelq_version '") + bad + "' must match the semver pattern ^\\d+\\.\\d+\\.\\d+$")
        << bad;
  }
}

TEST(OriginRegistry, Messages) {
  for (const char* ok : {"registry", "r1.zone-2", "0.0"}) EXPECT_TRUE(validate_origin_registry(ok).ok()) << ok;
  struct Case {
    std::string in, want;
  } cases[] = {
      {"", "origin_registry must be a non-empty DNS hostname"},
      {"did:web:x",
       "origin_registry must be a DNS hostname, not a DID URI (got 'did:web:x'); use the bare authority \xE2\x80\x94 "
       "capabilities.registry_did carries the did:web form"},
      {"https://reg.example", "origin_registry must be a DNS hostname, not a URL (got 'https://reg.example')"},
      {"x://", "origin_registry must be a DNS hostname, not a URL (got 'x://')"},
      {".a", "origin_registry must be a syntactically valid DNS hostname (got '.a')"},
      {"a.", "origin_registry must be a syntactically valid DNS hostname (got 'a.')"},
      {"Registry",
       "origin_registry 'Registry' is not a valid DNS hostname (must be lowercase labels of [a-z0-9-] separated "
       "by dots, e.g. 'registry.example.com')"},
      {"a_b",
       "origin_registry 'a_b' is not a valid DNS hostname (must be lowercase labels of [a-z0-9-] separated by "
       "dots, e.g. 'registry.example.com')"},
  };
  for (const auto& c : cases) EXPECT_EQ(msg(validate_origin_registry(c.in)), c.want) << c.in;
}

TEST(Status, Words) {
  using K = ContextStatus::Kind;
  struct Case {
    const char* in;
    K kind;
  } known[] = {{"active", K::Active}, {"superseded", K::Superseded}, {"expired", K::Expired}, {"retracted", K::Retracted}};
  for (const auto& c : known) {
    auto r = validate_status(c.in);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r->kind, c.kind);
    EXPECT_EQ(r->word(), c.in);
  }
  auto other = validate_status("under_review");
  ASSERT_TRUE(other.ok());
  EXPECT_EQ(other->kind, K::Other);
  EXPECT_EQ(other->word(), "under_review");
  EXPECT_TRUE(validate_status(std::string(64, 'x')).ok());
  for (std::string bad : {std::string("Active"), std::string(65, 'x'), std::string("_x"), std::string("1x"),
                          std::string(""), std::string("a-b")}) {
    EXPECT_EQ(msg(validate_status(bad)),
              "status '" + bad + "' does not match the open-enum pattern ^[a-z][a-z0-9_]*$ (length 1..=64)")
        << bad;
  }
}

TEST(ContextType, CustomPattern) {
  for (const char* ok : {"acme:report", "a_1:b-2", "a:b"}) {
    EXPECT_TRUE(is_custom_context_type(ok)) << ok;
    EXPECT_TRUE(validate_context_type(ok).ok()) << ok;
  }
  for (const char* bad : {":x", "a:", "A:b", "a:B", "a:b:c", "a-b:c", "report", "1a:b", "a:1b", "a:b\xC3\xA9"})
    EXPECT_FALSE(is_custom_context_type(bad)) << bad;
  struct Case {
    const char* in;
    const char* want;
  } cases[] = {
      {"report", "context_type 'report' missing namespace separator"},
      {":x", "context_type namespace '' must match [a-z][a-z0-9_]*"},
      {"a-b:c", "context_type namespace 'a-b' must match [a-z][a-z0-9_]*"},
      {"a:", "context_type name '' must match [a-z][a-z0-9_-]*"},
      {"a:b:c", "context_type name 'b:c' must match [a-z][a-z0-9_-]*"},
      {"a:B", "context_type name 'B' must match [a-z][a-z0-9_-]*"},
  };
  for (const auto& c : cases) EXPECT_EQ(msg(validate_context_type(c.in)), c.want) << c.in;
  EXPECT_FALSE(has_non_name_char(""));
  EXPECT_FALSE(has_non_name_char("a_b-1"));
  EXPECT_TRUE(has_non_name_char("a.b"));
}

TEST(DottedScheme, Pattern) {
  for (const char* ok : {"a.b", "chain.tx-1", "a.b.c"}) EXPECT_TRUE(is_dotted_scheme(ok)) << ok;
  for (const char* bad : {"", "a", "a.", ".a", "a..b", "a.1b", "A.b", "a_b.c", "a.b-\xC3\xA9"})
    EXPECT_FALSE(is_dotted_scheme(bad)) << bad;
}

// Any bytes at any length: answers, never a crash.
TEST(Validators, ArbitraryBytes) {
  std::string s;
  for (int i = 0; i < 5000; ++i) {
    s.push_back(static_cast<char>((i * 131 + 7) & 0xff));
    if (i % 97 == 0) {
      (void)validate_ctx_id(s);
      (void)validate_did(s);
      (void)validate_origin_registry(s);
      (void)validate_status(s);
      (void)is_dotted_scheme(s);
      (void)validate_context_type(s);
    }
  }
  std::string with_nul("did:web:a\0b", 11);
  EXPECT_EQ(msg(validate_did(with_nul)), "DID method-specific id '" + std::string("a\0b", 3) + "' contains invalid characters");
}

}  // namespace
}  // namespace zelq::wire
