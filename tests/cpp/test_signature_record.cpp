#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "core/json.hpp"
#include "wire/signature.hpp"

namespace {

using namespace zelq;
using json::Value;

Value obj(std::vector<std::pair<std::string, Value>> members) {
  json::Object o;
  for (auto& [k, v] : members) o.insert(k, std::move(v));
  return Value(std::move(o));
}

Value arr(std::vector<Value> items) { return Value(json::Array(std::move(items))); }

std::string read(const Value& v) {
  auto r = wire::signature_from_value(v);
  if (!r) return r.error();
  return r->algorithm + "|" + r->key_id + "|" + r->value;
}

TEST(SignatureRecord, ReadsObjectInAnyOrderAndArrayForm) {
  EXPECT_EQ(read(obj({{"value", Value("v")}, {"algorithm", Value("a")}, {"key_id", Value("k")}})), "a|k|v");
  EXPECT_EQ(read(arr({Value("a"), Value("k"), Value("v")})), "a|k|v");
  // Contents are not judged here.
  EXPECT_EQ(read(obj({{"algorithm", Value("")}, {"key_id", Value("")}, {"value", Value("")}})), "||");
}

TEST(SignatureRecord, ValueRoadMessages) {
  struct Row {
    Value v;
    std::string expected;
  };
  std::vector<Row> rows;
  rows.push_back({obj({}), "missing field `algorithm`"});
  rows.push_back({obj({{"algorithm", Value("a")}}), "missing field `key_id`"});
  rows.push_back({obj({{"algorithm", Value("a")}, {"key_id", Value("k")}}), "missing field `value`"});
  rows.push_back({obj({{"algorithm", Value("a")}, {"key_id", Value("k")}, {"value", Value("v")}, {"x", Value()}}),
                  "unknown field `x`, expected one of `algorithm`, `key_id`, `value`"});
  // The first fault in member order wins.
  rows.push_back({obj({{"x", Value()}, {"algorithm", Value(true)}}),
                  "unknown field `x`, expected one of `algorithm`, `key_id`, `value`"});
  rows.push_back({obj({{"algorithm", Value()}}), "invalid type: null, expected a string"});
  rows.push_back({obj({{"key_id", Value(false)}}), "invalid type: boolean `false`, expected a string"});
  rows.push_back({obj({{"value", Value::from_u64(7)}}), "invalid type: integer `7`, expected a string"});
  rows.push_back({obj({{"value", Value::from_i64(-7)}}), "invalid type: integer `-7`, expected a string"});
  rows.push_back({obj({{"value", Value::from_double(1.5)}}), "invalid type: floating point `1.5`, expected a string"});
  rows.push_back({obj({{"value", arr({})}}), "invalid type: sequence, expected a string"});
  rows.push_back({obj({{"value", obj({})}}), "invalid type: map, expected a string"});
  rows.push_back({arr({}), "invalid length 0, expected struct Signature with 3 elements"});
  rows.push_back({arr({Value("a"), Value("k")}), "invalid length 2, expected struct Signature with 3 elements"});
  rows.push_back({arr({Value("a"), Value("k"), Value("v"), Value("w")}),
                  "invalid length 4, expected fewer elements in array"});
  rows.push_back({arr({Value("a"), Value::from_u64(1)}), "invalid type: integer `1`, expected a string"});
  rows.push_back({Value(), "invalid type: null, expected struct Signature"});
  rows.push_back({Value("abc"), "invalid type: string \"abc\", expected struct Signature"});
  for (const auto& r : rows) EXPECT_EQ(read(r.v), r.expected);
}

TEST(SignatureRecord, WritesTheSignatureMember) {
  const wire::Signature sig{"ed25519", "did:key:z#z", "AA=="};
  std::string out = "{";
  wire::write_signature_member(out, sig, true);
  EXPECT_EQ(out, R"({"signature":{"algorithm":"ed25519","key_id":"did:key:z#z","value":"AA=="})");
  out = R"({"a":1)";
  wire::write_signature_member(out, wire::Signature{"x", "q\"", "v"}, false);
  EXPECT_EQ(out, R"({"a":1,"signature":{"algorithm":"x","key_id":"q\"","value":"v"})");
}

}  // namespace
