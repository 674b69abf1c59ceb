#include <gtest/gtest.h>

#include "core/error.hpp"
#include "core/json/value.hpp"
#include "core/verdict.hpp"

using zelq::ErrorKind;
using zelq::ZelqError;

TEST(ErrorDisplay, TextVariantsUseTheirTemplates) {
  EXPECT_EQ(ZelqError::schema("x").display(), "schema violation: x");
  EXPECT_EQ(ZelqError::text(ErrorKind::MissingField, "title").display(), "missing required field: title");
  EXPECT_EQ(ZelqError::text(ErrorKind::Http, "503").display(), "HTTP error: 503");
  EXPECT_EQ(ZelqError::cursor_expired().display(), "search cursor expired");
}

TEST(ErrorDisplay, HashMismatchIsThreeAlignedLines) {
  auto e = ZelqError::hash_mismatch("sha256:aa", "sha256:bb");
  EXPECT_EQ(e.display(), "content_hash mismatch\n  stored:     sha256:aa\n  recomputed: sha256:bb");
}

TEST(ErrorDisplay, IncompleteLineageShowsTheOptionalCtxId) {
  EXPECT_EQ(ZelqError::incomplete_lineage("lin:x", std::nullopt).display(),
            "incomplete lineage lin:x: registry-served members did not satisfy the expected membership "
            "(expected ctx_id: None)");
  EXPECT_EQ(ZelqError::incomplete_lineage("lin:x", std::string("zelq://a/\"b")).display(),
            "incomplete lineage lin:x: registry-served members did not satisfy the expected membership "
            "(expected ctx_id: Some(\"zelq://a/\\\"b\"))");
}

TEST(ErrorDisplay, NestedDiscoveryFailurePrintsBothPrefixes) {
  auto inner = ZelqError::revocation_discovery_failed(ZelqError::text(ErrorKind::KeyResolution, "gone"));
  auto outer = ZelqError::revocation_discovery_failed(inner);
  EXPECT_EQ(outer.display(),
            "revocation auto-discovery failed: revocation auto-discovery failed: key resolution failed: gone");
}

TEST(ErrorDisplay, SupersededTargetAndRegistry) {
  EXPECT_EQ(ZelqError::superseded_target(zelq::SupersedeFailure::CrossRegistrySupersessionUnsupported, "m")
                .display(),
            "superseded target rejected (CrossRegistrySupersessionUnsupported): m");
  EXPECT_EQ(ZelqError::registry({"c", "m", nullptr}).display(),
            "registry returned error: WireError { error: WireErrorBody { code: \"c\", message: \"m\", "
            "details: None } }");
  zelq::json::Array arr;
  arr.push_back(zelq::json::Value::from_u64(1));
  arr.push_back(zelq::json::Value());
  zelq::json::Object obj;
  obj.insert("key", zelq::json::Value(std::move(arr)));
  auto details = std::make_shared<const zelq::json::Value>(zelq::json::Value(std::move(obj)));
  EXPECT_EQ(ZelqError::registry({"c", "m", details}).display(),
            "registry returned error: WireError { error: WireErrorBody { code: \"c\", message: \"m\", "
            "details: Some(Object {\"key\": Array [Number(1), Null]}) } }");
}

TEST(ErrorDebug, StructAndTupleForms) {
  EXPECT_EQ(ZelqError::canonicalization("d").debug(), "Canonicalization(\"d\")");
  EXPECT_EQ(ZelqError::cursor_expired().debug(), "CursorExpired");
  EXPECT_EQ(ZelqError::context_id_mismatch("a", "b").debug(), "ContextIdMismatch { requested: \"a\", served: \"b\" }");
  EXPECT_EQ(ZelqError::context_id_mismatch("a", "b").debug(true),
            "ContextIdMismatch {\n    requested: \"a\",\n    served: \"b\",\n}");
  EXPECT_EQ(ZelqError::hash_mismatch("s", "r").debug(),
            "HashMismatch { stored: ContentHash(\"s\"), recomputed: ContentHash(\"r\") }");
  EXPECT_EQ(zelq::debug_quote("a\tb\x01"), "\"a\\tb\\u{1}\"");
  // Bytes that are not UTF-8 (a stray or cut-off sequence) stand as they are.
  EXPECT_EQ(zelq::debug_quote("\xff\xe2\x80"), "\"\xff\xe2\x80\"");
}

struct VerdictCase {
  ZelqError error;
  const char* first;
  const char* second;
};

TEST(Verdicts, CodeTables) {
  const VerdictCase cases[] = {
      {ZelqError::invalid_signature("x"), "invalid_signature", "invalid_signature"},
      {ZelqError::text(ErrorKind::KeyResolution, "x"), "key_resolution", "key_resolution"},
      {ZelqError::text(ErrorKind::KeyResolutionUnreachable, "x"), "zelq_error", "zelq_error"},
      {ZelqError::text(ErrorKind::InvalidWitnessCosignature, "x"), "zelq_error", "invalid_witness_cosignature"},
      {ZelqError::text(ErrorKind::ImmutableField, "x"), "immutable_field", "zelq_error"},
      {ZelqError::text(ErrorKind::InvalidLifecycleTransition, "x"), "invalid_lifecycle_transition", "zelq_error"},
      {ZelqError::text(ErrorKind::InvalidLogProof, "x"), "invalid_log_proof", "invalid_log_proof"},
      {ZelqError::cursor_expired(), "zelq_error", "zelq_error"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(zelq::verdict_code(c.error.kind()), c.first) << c.error.debug();
    EXPECT_EQ(zelq::witness_verdict_code(c.error.kind()), c.second) << c.error.debug();
  }
}

TEST(Verdicts, CompactTextEscapesTheMessage) {
  EXPECT_EQ(zelq::failure_verdict_json(ZelqError::cursor_expired()),
            "{\"valid\":false,\"code\":\"zelq_error\",\"error\":\"search cursor expired\"}");
  EXPECT_EQ(zelq::failure_verdict_json(ZelqError::hash_mismatch("a", "b")),
            "{\"valid\":false,\"code\":\"zelq_error\",\"error\":\"content_hash mismatch\\n  stored:     a\\n  "
            "recomputed: b\"}");
  EXPECT_EQ(zelq::witness_failure_verdict_json(ZelqError::schema("\x7f\x01\"")),
            "{\"valid\":false,\"code\":\"schema_violation\",\"error\":\"schema violation: \x7f\\u0001\\\"\"}");
}
