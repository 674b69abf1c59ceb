#include <gtest/gtest.h>

#include <string>

#include "core/content_hash.hpp"
#include "core/json/reader.hpp"
#include "core/sha256.hpp"
#include "core/utf8.hpp"

namespace zelq {
namespace {

json::Value parse(std::string_view s) { return std::move(json::parse(s).value()); }

TEST(SigningDigest, DropsOnlyTopLevelSignature) {
  const std::string plain = sha256_prefixed(R"({"a":1,"b":{"signature":2}})");
  EXPECT_EQ(*signing_digest(parse(R"({"b":{"signature":2},"a":1})").as_object()), plain);
  for (const char* sig : {"null", R"("x")", R"({"value":"AAAA"})", "[1,2]"}) {
    auto with = parse(std::string(R"({"signature":)") + sig + R"(,"b":{"signature":2},"a":1})");
    EXPECT_EQ(*signing_digest(with.as_object()), plain) << sig;
  }
  EXPECT_EQ(*signing_digest(parse(R"({"signature":1})").as_object()), sha256_prefixed("{}"));
  // Other members of a body's exclusion list are signed over.
  EXPECT_NE(*signing_digest(parse(R"({"a":1,"created_at":"x"})").as_object()),
            *signing_digest(parse(R"({"a":1})").as_object()));
}

TEST(SigningDigest, DepthFailurePassesThrough) {
  json::Value deep = json::Value::from_u64(1);
  for (int i = 0; i < 300; ++i) deep = json::Value(json::Array{std::move(deep)});
  json::Object o;
  o.insert("d", deep);
  auto r = signing_digest(o);
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.error().kind(), ErrorKind::Canonicalization);
  json::Value body(std::move(o));
  auto h = body_content_hash(body);
  ASSERT_FALSE(h.ok());
  EXPECT_EQ(h.error().kind(), ErrorKind::Canonicalization);
}

TEST(ZelqVersion, ExactName) {
  EXPECT_FALSE(get_zelq_version(parse("{}").as_object()));
  EXPECT_FALSE(get_zelq_version(parse(R"({"zelq_version ":1})").as_object()));
  EXPECT_FALSE(get_zelq_version(parse(R"({"zelq_versio":1})").as_object()));
  EXPECT_EQ(get_zelq_version(parse(R"({"zelq_version":1})").as_object()), 0u);
  EXPECT_EQ(get_zelq_version(parse(R"({"a":1,"zelq_version":null})").as_object()), 1u);
}

TEST(Utf8, LossyReplacesMaximalBadSequences) {
  EXPECT_EQ(utf8_valid_up_to("a\xC3\xA9"), 3u);
  EXPECT_EQ(utf8_valid_up_to("a\xC3"), 1u);
  EXPECT_EQ(utf8_valid_up_to("\xED\xA0\x80"), 0u);  // a surrogate
  EXPECT_EQ(utf8_lossy("a\xFF" "b"), "a\xEF\xBF\xBD" "b");
  EXPECT_EQ(utf8_lossy("\xE2\x80" "b"), "\xEF\xBF\xBD" "b");  // truncated 3-byte sequence: one replacement
  EXPECT_EQ(utf8_lossy("\xC0\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD");  // overlong: each byte bad
  EXPECT_EQ(utf8_lossy("\xF4\x90\x80\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
}

}  // namespace
}  // namespace zelq
