#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "core/json/canonical.hpp"
#include "core/json/record.hpp"
#include "core/json/value.hpp"
#include "core/json/reader.hpp"
#include "core/json/string_list.hpp"
#include "core/json/writer.hpp"

using zelq::json::Array;
using zelq::json::Object;
using zelq::json::Value;

namespace {

Value nest(int levels, Value inner) {
  for (int i = 0; i < levels; ++i) {
    Array a;
    a.push_back(std::move(inner));
    inner = Value(std::move(a));
  }
  return inner;
}

std::string canon(const Value& v) { return *zelq::jcs_canonicalize(v); }

}  // namespace

TEST(Jcs, DepthLimitCountsEveryValue) {
  EXPECT_TRUE(zelq::jcs_canonicalize(nest(256, Value(Array{}))).ok());      // innermost at depth 256
  EXPECT_TRUE(zelq::jcs_canonicalize(nest(256, Value::from_u64(1))).ok());  // number at depth 256
  auto too_deep = zelq::jcs_canonicalize(nest(257, Value::from_u64(1)));
  ASSERT_FALSE(too_deep.ok());
  EXPECT_EQ(too_deep.error().display(), "JCS canonicalization failed: JSON nesting depth exceeds 256");
  EXPECT_FALSE(zelq::jcs_canonicalize(nest(257, Value(Array{}))).ok());
}

TEST(Jcs, NumberForms) {
  struct Case {
    double d;
    const char* text;
  };
  const Case cases[] = {
      {-0.0, "0"}, {1.0, "1"}, {1e20, "100000000000000000000"}, {1e21, "1e+21"}, {1e-6, "0.000001"},
      {1e-7, "1e-7"}, {1.5e-7, "1.5e-7"}, {0.1, "0.1"}, {5e-324, "5e-324"},
      {1.7976931348623157e308, "1.7976931348623157e+308"}, {-1.5, "-1.5"}, {123.456, "123.456"},
      {9007199254740992.0, "9007199254740992"}, {2.5e-5, "0.000025"}, {1.2345e22, "1.2345e+22"},
  };
  for (const auto& c : cases) EXPECT_EQ(canon(Value::from_double(c.d)), c.text) << c.text;
  EXPECT_EQ(canon(Value::from_u64(std::numeric_limits<std::uint64_t>::max())), "18446744073709551615");
  EXPECT_EQ(canon(Value::from_i64(std::numeric_limits<std::int64_t>::min())), "-9223372036854775808");
}

TEST(JsonWriter, CompactFormsOfFloatsAndEscapes) {
  struct Case {
    double d;
    const char* text;
  };
  const Case cases[] = {{1.0, "1.0"}, {0.0, "0.0"}, {-0.0, "-0.0"}, {1e100, "1e100"}, {1.5e-7, "1.5e-7"},
                        {0.001, "0.001"}, {1e16, "1e16"}, {123456.5, "123456.5"}, {1e15, "1000000000000000.0"}};
  for (const auto& c : cases) EXPECT_EQ(zelq::json::to_string(Value::from_double(c.d)), c.text) << c.text;
  EXPECT_EQ(zelq::json::to_string(Value(std::string("\b\f\x1f\x7f\"\\/"))), "\"\\b\\f\\u001f\x7f\\\"\\\\/\"");
}

TEST(JsonObject, RepeatedKeyKeepsFirstPositionAndLastValue) {
  auto v = zelq::json::parse(R"({"a":1,"b":2,"a":3})");
  ASSERT_TRUE(v.ok());
  EXPECT_EQ(zelq::json::to_string(*v), R"({"a":3,"b":2})");
  // Small and indexed objects read alike: as one insert after another.
  std::mt19937_64 rng(11);
  for (int n : {5, 11, 12, 13, 40, 300}) {
    std::string text = "{";
    Object expected;
    for (int j = 0; j < n; ++j) {
      const std::string key = "k" + std::to_string(rng() % static_cast<std::uint64_t>(n / 2 + 1));
      text += (j ? ",\"" : "\"") + key + "\":" + std::to_string(j);
      expected.insert(key, Value::from_u64(static_cast<std::uint64_t>(j)));
    }
    auto read = zelq::json::parse(text + "}");
    ASSERT_TRUE(read.ok()) << text;
    EXPECT_EQ(read->as_object(), expected) << text;
    for (const auto& m : expected) EXPECT_EQ(*read->as_object().find(m.key), m.value) << m.key;
  }
}

TEST(JsonObject, LargeObjectsStayOrderedAndSearchable) {
  Object o;
  for (int i = 0; i < 1000; ++i) o.insert("k" + std::to_string(i), Value::from_u64(static_cast<std::uint64_t>(i)));
  o.insert("k5", Value("x"));
  EXPECT_EQ(o.size(), 1000u);
  EXPECT_EQ(o.members()[5].value.as_string(), "x");
  EXPECT_TRUE(o.remove("k0"));
  EXPECT_FALSE(o.remove("k0"));
  EXPECT_EQ(o.members()[0].key, "k1");
  ASSERT_NE(o.find("k999"), nullptr);
  EXPECT_EQ(o.find("k999")->as_u64(), 999u);
  EXPECT_EQ(o.find("nope"), nullptr);
}

TEST(JsonReader, NumberKinds) {
  EXPECT_EQ(zelq::json::parse("18446744073709551615")->type(), zelq::json::Type::UInt);
  EXPECT_EQ(zelq::json::parse("-9223372036854775808")->type(), zelq::json::Type::Int);
  EXPECT_EQ(zelq::json::parse("-9223372036854775809")->type(), zelq::json::Type::Float);
  EXPECT_EQ(zelq::json::parse("18446744073709551616")->type(), zelq::json::Type::Float);
  auto negzero = zelq::json::parse("-0");
  ASSERT_EQ(negzero->type(), zelq::json::Type::Float);
  EXPECT_TRUE(std::signbit(negzero->as_double()));
  EXPECT_EQ(zelq::json::parse("1e-400")->as_double(), 0.0);
  EXPECT_EQ(zelq::json::parse("-1e-400")->type(), zelq::json::Type::Float);
}

TEST(JsonReader, ErrorWithoutPositionDisplaysBare) {
  zelq::json::ParseError e{"missing field `id`", 0, 0};
  EXPECT_EQ(e.display(), "missing field `id`");
  e.line = 2;
  e.column = 7;
  EXPECT_EQ(e.display(), "missing field `id` at line 2 column 7");
}

TEST(JsonReader, UnexpectedDescriptions) {
  EXPECT_EQ(zelq::json::unexpected_desc(Value()), "null");
  EXPECT_EQ(zelq::json::unexpected_desc(Value(true)), "boolean `true`");
  EXPECT_EQ(zelq::json::unexpected_desc(Value::from_i64(-5)), "integer `-5`");
  EXPECT_EQ(zelq::json::unexpected_desc(Value::from_double(1.0)), "floating point `1.0`");
  EXPECT_EQ(zelq::json::unexpected_desc(Value("a\"b")), "string \"a\\\"b\"");
  EXPECT_EQ(zelq::json::unexpected_desc(Value(Array{})), "sequence");
  EXPECT_EQ(zelq::json::unexpected_desc(Value(Object{})), "map");
}

namespace {

// Random JSON text with repeated and escaped keys, nesting and white space.
std::string random_json(std::uint32_t& seed, int depth) {
  auto next = [&seed]() {
    seed = seed * 1664525u + 1013904223u;
    return seed >> 8;
  };
  static const char* const keys[] = {"a", "b", "aa", "B", "\\u00e9", "\\n", "\xc3\xa9", "\\\"q", "z\\/", "\xef\xac\x81"};
  static const char* const scalars[] = {"null", "true", "false", "0", "-0", "1.0", "1e21", "-1.5e-7",
                                        "18446744073709551616", "-9223372036854775808", "\"s\\t\\u0001\"",
                                        "\"\xf0\x9f\x98\x80\"", "123", "0.1"};
  std::uint32_t kind = depth > 0 ? next() % 4 : 3;
  std::string s;
  if (kind == 0 || kind == 1) {
    const bool obj = kind == 0;
    s += obj ? "{" : "[ ";
    std::uint32_t n = next() % 6;
    for (std::uint32_t i = 0; i < n; ++i) {
      if (i) s += " ,";
      if (obj) s += std::string("\"") + keys[next() % 10] + "\" :";
      s += random_json(seed, depth - 1);
    }
    s += obj ? "}" : "]";
  } else {
    s += scalars[next() % 14];
  }
  return s;
}

}  // namespace

TEST(Jcs, OnePassTextFormEqualsTheValueForm) {
  std::uint32_t seed = 12345;
  for (int i = 0; i < 3000; ++i) {
    std::string text = random_json(seed, 4);
    auto value = zelq::json::parse(text);
    ASSERT_TRUE(value.ok()) << text << ": " << value.error().display();
    auto expected = zelq::jcs_canonicalize(*value);
    auto got = zelq::canonicalize_text(text);
    ASSERT_TRUE(got.ok()) << text;
    EXPECT_EQ(*got, *expected) << text;
  }
}

TEST(Jcs, OnePassTextFormFailsLikeTheReader) {
  const char* bad[] = {"", "{", "[1,]", "{\"a\":1,\"a\"}", "{\"a\":1 2}", "\"\\ud800\"", "[1] x"};
  for (const char* text : bad) {
    auto a = zelq::json::parse(text);
    auto b = zelq::canonicalize_text(text);
    ASSERT_FALSE(a.ok());
    ASSERT_FALSE(b.ok());
    EXPECT_EQ(a.error().display(), b.error().display()) << text;
  }
}

// Doubles as writers print them (shortest, with 1 to 17 digits, in fixed and
// exponent forms, and with the last digit moved): the one-pass form takes
// its digits from the text where it can and must equal the value form.
TEST(Jcs, NumberTextsEqualTheValueForm) {
  for (const char* t : {"0e99999999999999999999", "1e-99999999999999999999", "-1e99999999999999999999",
                        "12345678901234567890123.5", "0.000000000000000000001234567890123456789"}) {
    auto value = zelq::json::parse(t);
    auto once = zelq::canonicalize_text(t);
    ASSERT_EQ(value.ok(), once.ok()) << t;
    if (value.ok()) {
      EXPECT_EQ(*once, *zelq::jcs_canonicalize(*value)) << t;
    }
  }
  std::mt19937_64 rng(2026);
  char text[64];
  for (int i = 0; i < 40000; ++i) {
    double d = std::ldexp(static_cast<double>(rng() >> 11), static_cast<int>(rng() % 180) - 130);
    if (i % 4 == 0) {
      const std::uint64_t bits = rng();
      std::memcpy(&d, &bits, sizeof d);
      if (!std::isfinite(d)) continue;
    }
    const int digits = static_cast<int>(rng() % 18);
    if (digits == 0) *std::to_chars(text, text + sizeof text, d).ptr = '\0';
    else std::snprintf(text, sizeof text, i % 2 ? "%.*g" : "%.*e", digits, d);
    std::string t = text;
    if (i % 3 == 0) {  // the last digit of the significand moved by one
      const std::size_t last = t.find_last_of("0123456789", t.find_first_of("eE"));
      t[last] = t[last] == '9' ? '8' : static_cast<char>(t[last] + 1);
    }
    auto value = zelq::json::parse(t);
    auto once = zelq::canonicalize_text(t);
    ASSERT_EQ(value.ok(), once.ok()) << t;
    if (value.ok()) {
      EXPECT_EQ(*once, *zelq::jcs_canonicalize(*value)) << t;
    }
  }
}

// Objects of more members than the insertion sort takes, keys repeated and
// escaped, members of uneven size (the largest is moved in place).
TEST(Jcs, LargeObjectsWithRepeatedKeysEqualTheValueForm) {
  std::mt19937_64 rng(7);
  for (int i = 0; i < 300; ++i) {
    const int n = 20 + static_cast<int>(rng() % 60);
    std::string t = "{";
    for (int j = 0; j < n; ++j) {
      t += (j ? ", \"k" : "\"k") + std::to_string(rng() % (n / 2 + 1)) + (rng() % 5 ? "\": " : "\\u00e9\": ");
      t += rng() % 2 ? std::to_string(j) : "\"" + std::string(rng() % 300, 'y') + "\"";
    }
    t += "}";
    auto value = zelq::json::parse(t);
    ASSERT_TRUE(value.ok()) << t;
    EXPECT_EQ(*zelq::canonicalize_text(t), *zelq::jcs_canonicalize(*value)) << t;
  }
}

// What a pruned reading leaves out is a kind of value of its own: counted,
// compared and written out as it was read, never taken for a string (the
// texts here hold bytes no valid UTF-8 holds), and never hashed.
TEST(JsonPrune, LeftOutPartsAreAKindOfTheirOwn) {
  using zelq::json::Prune;
  using zelq::json::Unnamed;
  const Prune inner{{"k"}, {nullptr}, true, Unnamed::Refuse};
  const Prune record{{"a"}, {&inner}, true, Unnamed::Refuse};
  struct Row {
    std::string_view text;
    std::size_t length;  // of the array as read, or members as read
  };
  for (const Row& row : {Row{"[\"\xfe" "3[\",\"\xff\",7]", 3}, Row{"[\"\xff\"]", 1},
                         Row{"{\"a\":\"\xff{\",\"zz\":[1,2],\"yy\":{\"b\":\"\xfe" "1[\"}}", 3},
                         Row{"{\"zz\":1,\"a\":[\"\xfe" "2[\",0],\"zz\":2}", 2}}) {
    auto whole = zelq::json::parse(row.text);
    auto pruned = zelq::json::parse(row.text, &record);
    ASSERT_TRUE(whole.ok() && pruned.ok()) << row.text;
    EXPECT_TRUE(zelq::json::same_value(*pruned, *whole)) << row.text;
    auto written = zelq::json::parse(zelq::json::to_string(*pruned));
    ASSERT_TRUE(written.ok()) << row.text;
    EXPECT_TRUE(zelq::json::same_value(*written, *whole)) << row.text;
    if (whole->is_array()) {
      EXPECT_EQ(zelq::json::array_length(pruned->as_array()), row.length) << row.text;
      EXPECT_EQ(pruned->as_array()[0], whole->as_array()[0]) << row.text;
    } else {
      EXPECT_EQ(whole->as_object().size(), row.length) << row.text;
      EXPECT_TRUE(zelq::json::same_value(*pruned->get("a"), *whole->get("a"))) << row.text;
    }
    EXPECT_EQ(zelq::json::holds_unread(*pruned), row.length > 1) << row.text;
    EXPECT_EQ(zelq::jcs_canonicalize(*pruned).ok(), row.length == 1) << row.text;
  }
}

// Refused members are compared as the values they read to, whatever their
// order or spelling.
TEST(JsonPrune, LeftOutPartsCompareAsValues) {
  using zelq::json::Prune;
  using zelq::json::Unnamed;
  const Prune record{{"a"}, {nullptr}, false, Unnamed::Refuse};
  struct Row {
    std::string_view a, b;
    bool same;
  };
  for (const Row& row : {Row{R"({"zz":{"a":1}})", R"({"zz":{"a":2}})", false},
                         Row{R"({"zz":1,"yy":{"a":[1,2]}})", R"({"yy":{"a":[1, 2]},"zz":1})", true},
                         Row{R"({"zz":1,"yy":2})", R"({"zz":1,"yy":3})", false},
                         Row{R"({"zz":1})", R"({"zz":1.0})", false},
                         Row{R"({"zz":1})", R"({"yy":1})", false},
                         Row{R"({"zz":-0.0,"yy":"\u0041"})", R"({"yy":"A","zz":0.0})", true},
                         Row{R"({"zz":{"b":1,"b":2}})", R"({"zz":{"b":2}})", true},
                         Row{R"({"zz":[1]})", R"({"zz":[1],"yy":null})", false},
                         Row{R"({"a":1,"zz":[1]})", R"({"a":1})", false}}) {
    auto a = zelq::json::parse(row.a, &record);
    auto b = zelq::json::parse(row.b, &record);
    ASSERT_TRUE(a.ok() && b.ok()) << row.a;
    EXPECT_EQ(zelq::json::same_value(*a, *b), row.same) << row.a << " " << row.b;
    EXPECT_EQ(zelq::json::same_value(*b, *a), row.same) << row.b << " " << row.a;
  }
}

TEST(StringList, EveryEntryReadsBackPastTheChunksThatDouble) {
  zelq::json::StringList list;
  std::vector<std::string> expected;
  for (int i = 0; i < 20000; ++i) {
    expected.push_back(i % 3 == 0 ? std::string() : std::to_string(i));
    list.push_back(expected.back());
  }
  ASSERT_EQ(list.size(), expected.size());
  std::size_t i = 0, wrong = 0;
  for (std::string_view e : list) {
    if (e != expected[i] || list[i] != expected[i]) ++wrong;
    ++i;
  }
  EXPECT_EQ(wrong, 0u);
  EXPECT_EQ(i, expected.size());
  zelq::json::StringList copy = list;
  EXPECT_TRUE(copy == list);
  copy.push_back("");
  EXPECT_FALSE(copy == list);
  // The same bytes cut elsewhere are other texts.
  EXPECT_FALSE((zelq::json::StringList{"ab", ""}) == (zelq::json::StringList{"a", "b"}));
}
