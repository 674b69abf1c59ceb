#include <gtest/gtest.h>

#include <string>

#include "core/rfc3339_relaxed.hpp"
#include "core/timestamp.hpp"
#include "wire/body.hpp"

namespace zelq {
namespace {

// ---- relaxed date-time reading and the 0/3/6/9-digit writer -------------------

std::string relaxed(std::string_view in) {
  auto t = parse_rfc3339_relaxed(in);
  if (!t) return std::string(time_parse_message(t.error()));
  return format_rfc3339(*t);
}

TEST(RelaxedDateTime, ReadsToUtcAndWritesTheFewestDigits) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {
      {"2030-06-01T12:00:00.000Z", "2030-06-01T12:00:00Z"},
      {"2030-06-01T14:00:00+02:00", "2030-06-01T12:00:00Z"},
      {"2030-06-01 12:00:00 utc", "2030-06-01T12:00:00Z"},
      {"2030-06-01t12:00:00 \xe2\x88\x92" "01 : 30  ", "2030-06-01T13:30:00Z"},
      {"2030-06-01T12:00:00.120Z", "2030-06-01T12:00:00.120Z"},
      {"2030-06-01T12:00:00.1234Z", "2030-06-01T12:00:00.123400Z"},
      {"2030-06-01T12:00:00.000000001Z", "2030-06-01T12:00:00.000000001Z"},
      {"2030-06-01T12:00:00.0000000019Z", "2030-06-01T12:00:00.000000001Z"},
      {"2016-12-31T23:59:60.5Z", "2016-12-31T23:59:60.500Z"},
      {" 2030-6-1T1:2:3Z", "2030-06-01T01:02:03Z"},
      {"+12345-01-01T00:00:00Z", "+12345-01-01T00:00:00Z"},
      {"-0001-01-01T00:00:00Z", "-0001-01-01T00:00:00Z"},
      // Refusals, each with the reader's own reason.
      {"2030-06-01T12:00:00", "premature end of input"},
      {"2030-06-01", "premature end of input"},
      {"2030-06-01T12:00:00Z x", "trailing input"},
      {"99999-01-01T00:00:00Z", "input contains invalid characters"},
      {"+999999-01-01T00:00:00Z", "input is out of range"},
      {"2030-02-30T00:00:00Z", "input is out of range"},
      {"2030-13-01T00:00:00Z", "input is out of range"},
      {"2030-06-01T12:00:00+24:00", "input is out of range"},
      {"2030-06-01T12:00:00+01:60", "input is out of range"},
      {"2030-06-01T12:00:00+0", "premature end of input"},
      {"2030-06-01X12:00:00Z", "input contains invalid characters"},
      {"+262143-12-31T23:59:59-01:00", "no possible date and time matching input"},
  };
  for (const auto& c : cases) EXPECT_EQ(relaxed(c.in), c.out) << c.in;
}

// ---- publish request: writer and reader -----------------------------------------

constexpr const char* kMinimal =
    R"({"version":1,"supersedes":null,"agent_id":"did:key:z","contributors":[],"title":"t","type":"alert",)"
    R"("data_refs":[],"derived_from":[],"visibility":"public","content_hash":"sha256:00",)"
    R"("signature":{"algorithm":"ed25519","key_id":"k","value":"v"}})";

std::string reread(std::string_view text) {
  auto r = wire::parse_publish_request(text);
  if (!r) return r.error().display();
  return wire::write_publish_request(*r);
}

TEST(PublishRequest, WriterKeepsWireOrderAndForms) {
  EXPECT_EQ(reread(kMinimal), kMinimal);
  // Every optional member present, given out of order, with forms the writer
  // normalises (offsets, fractions) and stored orders it keeps.
  const std::string full =
      R"({"anchors":[{"scheme":"a.b","content_hash":"h","uri":null,"n":1}],"schema_uri":"s","metadata":{"z":1,"a":null},)"
      R"("data_period":["2030-01-01T02:00:00+02:00","2030-01-02T00:00:00.500Z"],"expires_at":"2030-06-01 12:00:00.000001Z",)"
      R"("domain":"d","tags":[],"lineage_id":"lin","summary":"s\u0001","description":"\"\\\n/é","zelq_version":"0.4.0",)"
      R"("audience":[],"signature":["ed25519","k","v"],"content_hash":"h","visibility":{"private":null},)"
      R"("derived_from":["x"],"data_refs":[{"x":2,"embedded":["utf8","c"],"type":"raw_data","size_bytes":0},)"
      R"({"type":"derived_data","location":{"scheme":"q.r","k":[]},"content_hash":"h"}],"type":"x9_:y-1",)"
      R"("title":"t","contributors":["c"],"agent_id":"a","supersedes":"p","version":4294967295})";
  EXPECT_EQ(reread(full),
            R"({"version":4294967295,"supersedes":"p","agent_id":"a","contributors":["c"],"title":"t","type":"x9_:y-1",)"
            R"("data_refs":[{"type":"raw_data","size_bytes":0,"embedded":{"encoding":"utf8","content":"c"},"x":2},)"
            R"({"type":"derived_data","content_hash":"h","location":{"scheme":"q.r","k":[]}}],"derived_from":["x"],)"
            R"("visibility":"private","content_hash":"h","signature":{"algorithm":"ed25519","key_id":"k","value":"v"},)"
            R"("audience":[],"zelq_version":"0.4.0","description":"\"\\\n/é","summary":"s\u0001","lineage_id":"lin",)"
            R"("tags":[],"domain":"d","expires_at":"2030-06-01T12:00:00.000001Z",)"
            R"("data_period":{"start":"2030-01-01T00:00:00Z","end":"2030-01-02T00:00:00.500Z"},)"
            R"("metadata":{"z":1,"a":null},"schema_uri":"s","anchors":[{"scheme":"a.b","content_hash":"h","n":1}]})");
}

TEST(PublishRequest, ArrayFormAndReaderFaults) {
  const std::string head =
      R"([1,null,"a",[],"t","alert",[],[],"public","h",["e","k","v"],null,"z","d","s",null,[],"dm",null,null,null)";
  struct Case {
    std::string in;
    const char* out;  // the rewritten text's start, or the error
  } cases[] = {
      {head + "]", R"({"version":1,"supersedes":null,"agent_id":"a")"},
      {head + R"(,"u",[]])", R"({"version":1,"supersedes":null,"agent_id":"a")"},
      {head + R"(,"u",[],1])", "trailing characters at line 1 column 113"},
      {R"([1,null,"a",[],"t","alert",[],[],"public","h",["e","k","v"],null,"z"])",
       "invalid length 15, expected struct PublishRequest with 23 elements at line 1 column 69"},
      {"  ", "EOF while parsing a value at line 1 column 2"},
      {R"({"title":"a",})", "trailing comma at line 1 column 14"},
      {R"({"title":"a" "x":1})", "expected `,` or `}` at line 1 column 14"},
      // The request counts one level: 126 more pass, 127 do not.
      {R"({"metadata":)" + std::string(126, '[') + std::string(126, ']') + "}", "missing field `version` at line 1 column 265"},
      {R"({"metadata":)" + std::string(127, '[') + std::string(127, ']') + "}",
       "recursion limit exceeded at line 1 column 139"},
      {R"({"ctx_id":1})",
       "unknown field `ctx_id`, expected one of `version`, `supersedes`, `agent_id`, `contributors`, `title`, "
       "`type`, `data_refs`, `derived_from`, `visibility`, `content_hash`, `signature`, `audience`, "
       "`zelq_version`, `description`, `summary`, `lineage_id`, `tags`, `domain`, `expires_at`, `data_period`, "
       "`metadata`, `schema_uri`, `anchors` at line 1 column 9"},
      {R"({"title":"a","title":1})", "duplicate field `title` at line 1 column 20"},
      {R"({"version":1,"title":"a"})", "missing field `agent_id` at line 1 column 25"},
      {R"({"summary":null})", "invalid type: null, expected a string at line 1 column 15"},
      {R"({"tags":null})", "invalid type: null, expected a sequence at line 1 column 12"},
      {R"({"version":4294967296})", "invalid value: integer `4294967296`, expected u32 at line 1 column 21"},
      {R"({"version":-1})", "invalid value: integer `-1`, expected u32 at line 1 column 13"},
      {R"({"version":1.0})", "invalid type: floating point `1.0`, expected u32 at line 1 column 14"},
      {R"("x")", "invalid type: string \"x\", expected struct PublishRequest at line 1 column 3"},
      {R"({"visibility":"Public"})",
       "unknown variant `Public`, expected one of `public`, `restricted`, `private` at line 1 column 22"},
      {R"({"visibility":{"public":1}})", "invalid type: integer `1`, expected unit at line 1 column 25"},
      {R"({"visibility":{"public":null,"x":null}})", "expected value at line 1 column 28"},
      {R"({"visibility":{1:null}})", "invalid type: integer `1`, expected variant identifier at line 1 column 16"},
      {R"({"visibility":null})", "expected value at line 1 column 15"},
      {R"({"type":{"alert":null}})", "invalid type: map, expected a string at line 1 column 8"},
      {R"({"type":"zelq:Key"})",
       "context_type 'zelq:Key' is not a known ZELQ type and does not match the namespaced custom pattern "
       "^[a-z][a-z0-9_]*:[a-z][a-z0-9_-]*$ at line 1 column 19"},
      {R"({"expires_at":"2030-06-01T12:00:00"})", "premature end of input at line 1 column 35"},
      {R"({"expires_at":5})",
       "invalid type: integer `5`, expected an RFC 3339 formatted date and time string at line 1 column 15"},
      {R"({"data_period":{"start":"2030-01-01T00:00:00Z","x":1}})",
       "unknown field `x`, expected `start` or `end` at line 1 column 50"},
      {R"({"data_refs":[{"location":null}]})",
       "data did not match any variant of untagged enum Location at line 1 column 31"},
      {R"({"data_refs":[{"location":"u"}]})", "missing field `type` at line 1 column 30"},
      {R"({"data_refs":[{"type":"raw","size_bytes":-1}]})",
       "unknown variant `raw`, expected one of `primary_result`, `raw_data`, `supporting_info`, `derived_data` at "
       "line 1 column 27"},
      {R"({"data_refs":[{"size_bytes":-1}]})", "invalid value: integer `-1`, expected u64 at line 1 column 30"},
      {R"({"data_refs":[{"embedded":{"encoding":"json"}}]})", "missing field `content` at line 1 column 45"},
      {R"({"data_refs":[{"embedded":["json"]}]})",
       "invalid length 1, expected struct EmbeddedContent with 3 elements at line 1 column 34"},
      {R"({"data_refs":[["x"]]})", "invalid type: sequence, expected struct DataRef at line 1 column 14"},
      {R"({"anchors":[{"uri":null,"uri":"u"}]})", "duplicate field `uri` at line 1 column 29"},
      {R"({"anchors":[{"content_hash":"h"}]})", "missing field `scheme` at line 1 column 32"},
      {R"({"signature":["a","b"]})",
       "invalid length 2, expected struct Signature with 3 elements at line 1 column 22"},
  };
  for (const auto& c : cases) {
    std::string got = reread(c.in);
    if (got.starts_with("{")) got = got.substr(0, std::string(c.out).size());
    EXPECT_EQ(got, c.out) << c.in;
  }
}

// ---- body written back ------------------------------------------------------------

TEST(BodyValue, MembersInDeclarationOrderExtensionsLast) {
  auto b = wire::parse_body(
      R"({"x":null,"ctx_id":"c","lineage_id":"l","origin_registry":"o","created_at":"2030-01-01T01:00:00+01:00",)"
      R"("content_hash":"h","signature":{"algorithm":"a","key_id":"k","value":"v"},"version":0,"supersedes":null,)"
      R"("agent_id":"g","contributors":[],"title":"t","type":"key-revocation","data_refs":[],"derived_from":[],)"
      R"("visibility":"restricted","audience":null,"tags":[],"metadata":null,"extensions":{"a":1},"x":2})");
  ASSERT_TRUE(b.ok()) << b.error().display();
  EXPECT_EQ(json::to_string(wire::body_to_value(*b)),
            R"({"ctx_id":"c","lineage_id":"l","origin_registry":"o","created_at":"2030-01-01T00:00:00Z",)"
            R"("content_hash":"h","signature":{"algorithm":"a","key_id":"k","value":"v"},"version":0,)"
            R"("supersedes":null,"agent_id":"g","contributors":[],"title":"t","type":"key-revocation","data_refs":[],)"
            R"("derived_from":[],"visibility":"restricted","tags":[],"x":2,"extensions":{"a":1}})");
}

}  // namespace
}  // namespace zelq
