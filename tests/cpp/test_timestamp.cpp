#include <gtest/gtest.h>

#include <string>

#include "core/json/record.hpp"
#include "core/timestamp.hpp"

namespace zelq {
namespace {

using E = TimeParseError;

std::string utc_text(std::string_view in) {
  auto t = parse_rfc3339(in);
  if (!t) return std::string("error: ") + std::string(time_parse_message(t.error()));
  return format_rfc3339_millis(*t);
}

TEST(Rfc3339, AcceptedForms) {
  struct Case {
    const char* in;
    const char* utc;
  } cases[] = {
      {"2024-05-01T12:00:00.123Z", "2024-05-01T12:00:00.123Z"},
      {"2024-05-01t12:00:00.123z", "2024-05-01T12:00:00.123Z"},
      {"2024-05-01 12:00:00Z", "2024-05-01T12:00:00.000Z"},
      {"2024-05-01T12:00:00.5Z", "2024-05-01T12:00:00.500Z"},
      {"2024-05-01T12:00:00.999999999Z", "2024-05-01T12:00:00.999Z"},
      {"2024-05-01T17:00:00+05:00", "2024-05-01T12:00:00.000Z"},
      {"2024-05-01T07:00:00-05:00", "2024-05-01T12:00:00.000Z"},
      {"2024-05-01T07:00:00\xE2\x88\x92" "05:00", "2024-05-01T12:00:00.000Z"},
      {"2024-05-01T00:30:00+23:59", "2024-04-30T00:31:00.000Z"},
      {"2024-02-29T00:00:00Z", "2024-02-29T00:00:00.000Z"},
      {"2000-02-29T00:00:00Z", "2000-02-29T00:00:00.000Z"},
      {"1969-12-31T23:59:59.999Z", "1969-12-31T23:59:59.999Z"},
      // Leap seconds are held as second 59 plus one second of fraction.
      {"2016-12-31T23:59:60Z", "2016-12-31T23:59:60.000Z"},
      {"2016-12-31T23:59:60.5Z", "2016-12-31T23:59:60.500Z"},
      {"2017-01-01T00:59:60.25+01:00", "2016-12-31T23:59:60.250Z"},
      // The canonical form is defined for four-digit years; the shifted
      // extremes still print unambiguously.
      {"0000-01-01T00:00:00+01:00", "-0001-12-31T23:00:00.000Z"},
      {"9999-12-31T23:59:59-23:59", "+10000-01-01T23:58:59.000Z"},
  };
  for (const auto& c : cases) EXPECT_EQ(utc_text(c.in), c.utc) << c.in;
}

TEST(Rfc3339, RefusedForms) {
  struct Case {
    std::string in;
    E err;
  } cases[] = {
      {"", E::TooShort},
      {"hello", E::Invalid},
      {"2024-05-01", E::TooShort},
      {"2024-05-01X12:00:00Z", E::Invalid},
      {"20240-05-01T12:00:00Z", E::Invalid},
      {"2024-5-01T12:00:00Z", E::Invalid},
      {"\xEF\xBC\x92\xEF\xBC\x90\xEF\xBC\x92\xEF\xBC\x94-05-01T12:00:00Z", E::Invalid},  // full-width digits
      {"2024-13-01Tgarbage", E::OutOfRange},  // a field out of range ends the reading at once
      {"2024-05-00T12:00:00Z", E::OutOfRange},
      {"2024-02-30T12:00:00Z", E::OutOfRange},
      {"1900-02-29T12:00:00Z", E::OutOfRange},
      {"2024-05-01T24:00:00Z", E::OutOfRange},
      {"2024-05-01T12:60:00Z", E::OutOfRange},
      {"2024-05-01T12:00:61Z", E::OutOfRange},
      {"2024-05-01T12:00:0Z", E::Invalid},
      {"2024-05-01T12:00:00", E::TooShort},
      {"2024-05-01T12:00:00.", E::TooShort},
      {"2024-05-01T12:00:00.Z", E::Invalid},
      {"2024-05-01T12:00:00UTC", E::Invalid},
      {"2024-05-01T12:00:00Z ", E::TooLong},
      {"2024-05-01T12:00:00+02", E::TooShort},
      {"2024-05-01T12:00:00+02:0", E::TooShort},
      {"2024-05-01T12:00:00+0200", E::Invalid},
      {"2024-05-01T12:00:00+02:60", E::OutOfRange},
      {"2024-05-01T12:00:00+24:00", E::OutOfRange},
      {"2024-05-01T12:00:00\xE2\x88\x92" "99:00", E::OutOfRange},
  };
  for (const auto& c : cases) {
    auto r = parse_rfc3339(c.in);
    ASSERT_FALSE(r.ok()) << c.in;
    EXPECT_EQ(r.error(), c.err) << c.in << " -> " << time_parse_message(r.error());
  }
}

TEST(Rfc3339, ErrorTexts) {
  const char* want[] = {"input is out of range", "no possible date and time matching input",
                        "input contains invalid characters", "premature end of input", "trailing input"};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(time_parse_message(static_cast<E>(i)), want[i]);
}

TEST(Rfc3339, LongFractionsCountNineDigits) {
  std::string in = "2024-05-01T12:00:00.123456789" + std::string(10000, '9') + "Z";
  auto t = parse_rfc3339(in);
  ASSERT_TRUE(t.ok());
  EXPECT_EQ(t->nanos(), 123456789u);
  EXPECT_EQ(parse_rfc3339("2024-05-01T12:00:00." + std::string(10000, '0') + "x").error(), E::Invalid);
}

TEST(Writer, TruncatesNeverRounds) {
  auto t = UtcTime::from_civil(2024, 5, 1, 12, 0, 0, 999'999'999);
  ASSERT_TRUE(t);
  EXPECT_EQ(format_rfc3339_millis(*t), "2024-05-01T12:00:00.999Z");
  EXPECT_EQ(format_rfc3339_millis(*UtcTime::from_civil(2024, 5, 1, 12, 0, 0, 0)), "2024-05-01T12:00:00.000Z");
  EXPECT_EQ(format_rfc3339_millis(*UtcTime::from_unix_millis(-1)), "1969-12-31T23:59:59.999Z");
  std::string out = "[";
  format_rfc3339_millis(*t, out);
  EXPECT_EQ(out, "[\"2024-05-01T12:00:00.999Z\"");
  EXPECT_EQ(json::rfc3339_millis_value(*t).as_string(), "2024-05-01T12:00:00.999Z");
  auto now = format_rfc3339_millis(UtcTime::now());
  EXPECT_TRUE(is_canonical_ms_timestamp(now)) << now;
}

TEST(UtcTime, Ranges) {
  EXPECT_FALSE(UtcTime::from_civil(2024, 2, 30, 0, 0, 0, 0));
  EXPECT_FALSE(UtcTime::from_civil(2024, 1, 1, 0, 0, 0, 1'000'000'000));
  EXPECT_FALSE(UtcTime::from_civil(UtcTime::kMaxYear + 1, 1, 1, 0, 0, 0, 0));
  EXPECT_TRUE(UtcTime::from_civil(UtcTime::kMinYear, 1, 1, 0, 0, 0, 0));
  // Milliseconds far past any calendar are refused, not wrapped.
  EXPECT_FALSE(UtcTime::from_unix_millis(INT64_MAX));
  EXPECT_FALSE(UtcTime::from_unix_millis(INT64_MIN));
  EXPECT_FALSE(UtcTime::from_unix(INT64_MIN, 0));
  EXPECT_FALSE(UtcTime::from_unix(INT64_MAX, 999'999'999));
  auto t = UtcTime::from_unix_millis(1'714'564'800'123);
  ASSERT_TRUE(t);
  EXPECT_EQ(t->unix_millis(), 1'714'564'800'123);
  EXPECT_EQ(format_rfc3339_millis(*t), "2024-05-01T12:00:00.123Z");
  auto leap = parse_rfc3339("2016-12-31T23:59:60.5Z");
  ASSERT_TRUE(leap.ok());
  EXPECT_TRUE(leap->is_leap_second());
  EXPECT_LT(*parse_rfc3339("2016-12-31T23:59:59.9Z"), *leap);
  EXPECT_LT(*leap, *parse_rfc3339("2017-01-01T00:00:00Z"));
}

TEST(Canonical, Shape) {
  EXPECT_TRUE(is_canonical_ms_timestamp("2024-05-01T12:00:00.123Z"));
  EXPECT_TRUE(is_canonical_ms_timestamp("2016-12-31T23:59:60.123Z"));
  for (const char* bad : {"2024-05-01T12:00:00.123z", "2024-05-01 12:00:00.123Z", "2024-05-01T12:00:00.12Z",
                          "2024-05-01T12:00:00.1234Z", "2024-05-01T12:00:00Z", "2024-02-30T12:00:00.123Z",
                          "2024-05-01T12:00:00.123+00:00", "", "2024-05-01T25:00:00.123Z"})
    EXPECT_FALSE(is_canonical_ms_timestamp(bad)) << bad;
}

TEST(Canonical, ParseOnlyExactRendering) {
  auto t = parse_canonical_ms_timestamp("2024-05-01T12:00:00.123Z");
  ASSERT_TRUE(t);
  EXPECT_EQ(t->unix_millis(), 1'714'564'800'123);
  for (const char* bad : {"2024-05-01T12:00:00.123+00:00", "2024-05-01t12:00:00.123Z", "2024-05-01T12:00:00.123z",
                          "2024-05-01 12:00:00.123Z", "2024-05-01T12:00:00.1230Z", "2024-05-01T12:00:00Z", "x"})
    EXPECT_FALSE(parse_canonical_ms_timestamp(bad)) << bad;
}

}  // namespace
}  // namespace zelq
