// The record toolkit on both roads, on a small record of each kind.
#include <gtest/gtest.h>

#include "core/json/record.hpp"
#include "core/json/writer.hpp"

using namespace zelq::json;

namespace {

struct Closed {
  std::string a;
  std::string b;
  std::optional<std::string> c;
};

constexpr Field<Closed> kClosedFields[] = {
    string_field<Closed, &Closed::a>("a"),
    string_field<Closed, &Closed::b>("b"),
    opt_string_field<Closed, &Closed::c>("c"),
};
constexpr Record<Closed> kClosed{"Closed", kClosedFields, Unknown::Deny, true};

struct Open {
  std::string id;
  Object extensions;
};
constexpr Field<Open> kOpenFields[] = {string_field<Open, &Open::id>("id")};
constexpr Record<Open> kOpen{"Open", kOpenFields, Unknown::Collect, false, &Open::extensions};

struct Lenient {
  std::string id;
  std::vector<std::string> tags;
};
PResult<void> text_tags(Reader& r, Lenient& l) {
  auto v = read_seq<std::string>(r, read_string);
  if (!v) return zelq::fail(std::move(v).error());
  l.tags = std::move(*v);
  return {};
}
PResult<void> value_tags(const Value& v, Lenient& l) {
  auto t = seq_of<std::string>(v, string_of);
  if (!t) return zelq::fail(std::move(t).error());
  l.tags = std::move(*t);
  return {};
}
constexpr Field<Lenient> kLenientFields[] = {
    string_field<Lenient, &Lenient::id>("id"),
    {"tags", Presence::Defaulted, text_tags, value_tags},
};
constexpr Record<Lenient> kLenient{"Lenient", kLenientFields, Unknown::Ignore, true};

template <class T>
std::string text_error(std::string_view text, const Record<T>& rec) {
  auto r = parse_record(text, rec);
  return r.ok() ? "ok" : r.error().display();
}

template <class T>
std::string value_error(std::string_view text, const Record<T>& rec) {
  auto v = parse(text);
  if (!v) return "bad json";
  auto r = read_record(*v, rec);
  return r.ok() ? "ok" : r.error().display();
}

}  // namespace

TEST(Record, ClosedRecordOnTheTextRoad) {
  struct Case {
    const char* text;
    const char* error;
  };
  const Case cases[] = {
      {R"({"b":"2","a":"1"})", "ok"},
      {R"({"a":"1","b":"2","c":null})", "ok"},
      {R"({"a":"1","x":1,"b":"2"})", "unknown field `x`, expected one of `a`, `b`, `c` at line 1 column 12"},
      {R"({"a":"1","a":"1"})", "duplicate field `a` at line 1 column 12"},
      {R"({"a":"1"})", "missing field `b` at line 1 column 9"},
      {R"({})", "missing field `a` at line 1 column 2"},
      {R"({"a":5})", "invalid type: integer `5`, expected a string at line 1 column 6"},
      {R"({"a":[1]})", "invalid type: sequence, expected a string at line 1 column 5"},
      {R"(null)", "invalid type: null, expected struct Closed at line 1 column 4"},
      {R"("x")", "invalid type: string \"x\", expected struct Closed at line 1 column 3"},
      {R"([])", "invalid length 0, expected struct Closed with 3 elements at line 1 column 2"},
      {R"(["1","2"])", "invalid length 2, expected struct Closed with 3 elements at line 1 column 9"},
      {R"(["1","2",null])", "ok"},
      {R"(["1","2",null,4])", "trailing characters at line 1 column 15"},
      {R"(["1","2",null,])", "trailing comma at line 1 column 15"},
      {R"({"a":"1","b":"2"} x)", "trailing characters at line 1 column 19"},
  };
  for (const auto& c : cases) EXPECT_EQ(text_error(c.text, kClosed), c.error) << c.text;
}

TEST(Record, ClosedRecordOnTheValueRoad) {
  EXPECT_EQ(value_error(R"({"a":"1","a":"2","b":"3"})", kClosed), "ok");
  EXPECT_EQ(value_error(R"({"a":"1"})", kClosed), "missing field `b`");
  EXPECT_EQ(value_error(R"({"a":"1","x":1})", kClosed), "unknown field `x`, expected one of `a`, `b`, `c`");
  EXPECT_EQ(value_error(R"(["1","2",null,4])", kClosed), "invalid length 4, expected fewer elements in array");
  EXPECT_EQ(value_error(R"(["1"])", kClosed), "invalid length 1, expected struct Closed with 3 elements");
  EXPECT_EQ(value_error("1.5", kClosed), "invalid type: floating point `1.5`, expected struct Closed");
}

TEST(Record, OpenRecordCollectsUnknownMembersInOrder) {
  auto r = parse_record(R"({"z":1,"id":"x","y":[true],"z":2})", kOpen);
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r->id, "x");
  EXPECT_EQ(to_string(Value(r->extensions)), R"({"z":2,"y":[true]})");
  EXPECT_EQ(text_error("[\"x\"]", kOpen), "invalid type: sequence, expected struct Open at line 1 column 0");
}

TEST(Record, IgnoredMembersAndDefaultedLists) {
  auto r = parse_record(R"({"junk":{"deep":[1,{"x":null}]},"id":"a"})", kLenient);
  ASSERT_TRUE(r.ok());
  EXPECT_TRUE(r->tags.empty());
  EXPECT_EQ(text_error(R"(["a"])", kLenient), "ok");
  EXPECT_EQ(text_error(R"({"id":"a","tags":null})", kLenient),
            "invalid type: null, expected a sequence at line 1 column 21");
  EXPECT_EQ(text_error(R"({"id":"a","tags":["x",3]})", kLenient),
            "invalid type: integer `3`, expected a string at line 1 column 23");
  // A skipped value reads a comma before a closing bracket as a missing element.
  EXPECT_EQ(text_error(R"({"id":"a","junk":[1,]})", kLenient), "expected value at line 1 column 21");
  EXPECT_EQ(text_error(R"({"id":"a","junk":{"k":1,}})", kLenient), "key must be a string at line 1 column 25");
  EXPECT_EQ(text_error(R"({"id":"a","junk":[1e999,{}]})", kLenient), "ok");
  EXPECT_EQ(text_error(R"({"id":"a","junk":[1 2]})", kLenient), "expected `,` or `]` at line 1 column 21");
  EXPECT_EQ(text_error(R"({"id":"a","junk":[[)", kLenient), "EOF while parsing a list at line 1 column 19");
}
