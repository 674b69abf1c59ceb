#include <gtest/gtest.h>

#include <string>

#include "core/json/reader.hpp"
#include "wire/signature.hpp"

namespace {

using namespace zelq;

std::string show(const json::PResult<wire::Signature>& r) {
  if (!r) return r.error().display();
  return r->algorithm + "|" + r->key_id + "|" + r->value;
}

// The record as the value of a member, the way enclosing records read it.
std::string text_road(std::string_view text) {
  json::Reader r(text);
  auto sig = wire::read_signature(r);
  if (sig) {
    auto end = r.end();
    if (!end) return end.error().display();
  }
  return show(sig);
}

std::string value_road(std::string_view text) {
  auto v = json::parse(text);
  if (!v) return "unparsable test input";
  return show(wire::signature_from_value(*v));
}

struct Case {
  const char* input;
  const char* text;   // on the text road
  const char* value;  // on the value road (no position)
};

class SignatureRecord : public ::testing::TestWithParam<Case> {};

TEST_P(SignatureRecord, ReadsOrNamesTheFault) {
  EXPECT_EQ(text_road(GetParam().input), GetParam().text);
  EXPECT_EQ(value_road(GetParam().input), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    Roads, SignatureRecord,
    ::testing::Values(
        Case{R"({"value":"v","algorithm":"a","key_id":"k"})", "a|k|v", "a|k|v"},
        Case{R"(["a","k","v"])", "a|k|v", "a|k|v"},
        Case{R"({"algorithm":"","key_id":"","value":""})", "||", "||"},
        Case{"{}", "missing field `algorithm` at line 1 column 2", "missing field `algorithm`"},
        Case{R"({"algorithm":"a"})", "missing field `key_id` at line 1 column 17", "missing field `key_id`"},
        Case{R"({"algorithm":"a","key_id":"k","value":"v","x":1})",
             "unknown field `x`, expected one of `algorithm`, `key_id`, `value` at line 1 column 45",
             "unknown field `x`, expected one of `algorithm`, `key_id`, `value`"},
        Case{R"({"algorithm":"a","algorithm":"a"})", "duplicate field `algorithm` at line 1 column 28",
             "missing field `key_id`"},
        Case{R"({"algorithm":null})", "invalid type: null, expected a string at line 1 column 17",
             "invalid type: null, expected a string"},
        Case{R"({"value":1.5})", "invalid type: floating point `1.5`, expected a string at line 1 column 12",
             "invalid type: floating point `1.5`, expected a string"},
        Case{R"({"value":[]})", "invalid type: sequence, expected a string at line 1 column 9",
             "invalid type: sequence, expected a string"},
        Case{"[]", "invalid length 0, expected struct Signature with 3 elements at line 1 column 2",
             "invalid length 0, expected struct Signature with 3 elements"},
        Case{R"(["a","k"])", "invalid length 2, expected struct Signature with 3 elements at line 1 column 9",
             "invalid length 2, expected struct Signature with 3 elements"},
        Case{R"(["a","k","v","w"])", "trailing characters at line 1 column 14",
             "invalid length 4, expected fewer elements in array"},
        Case{R"(["a","k","v",])", "trailing comma at line 1 column 14",
             "unparsable test input"},
        Case{"null", "invalid type: null, expected struct Signature at line 1 column 4",
             "invalid type: null, expected struct Signature"},
        Case{R"("abc")", "invalid type: string \"abc\", expected struct Signature at line 1 column 5",
             "invalid type: string \"abc\", expected struct Signature"},
        Case{"", "EOF while parsing a value at line 1 column 0", "unparsable test input"}));

TEST(SignatureRecordWriter, WritesTheSignatureMember) {
  std::string out = "{";
  wire::write_signature_member(out, wire::Signature{"ed25519", "did:key:z#z", "AA=="}, true);
  EXPECT_EQ(out, R"({"signature":{"algorithm":"ed25519","key_id":"did:key:z#z","value":"AA=="})");
  out = R"({"a":1)";
  wire::write_signature_member(out, wire::Signature{"x", "q\"", "v"}, false);
  EXPECT_EQ(out, R"({"a":1,"signature":{"algorithm":"x","key_id":"q\"","value":"v"})");
}

}  // namespace
