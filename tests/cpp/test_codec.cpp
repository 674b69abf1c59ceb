#include <gtest/gtest.h>

#include <string>

#include "core/codec.hpp"

namespace {

using zelq::Bytes;

std::string b64_outcome(std::string_view text) {
  auto r = zelq::base64_decode(text);
  return r ? "ok:" + zelq::hex_encode(*r) : r.error();
}

struct Case {
  const char* input;
  const char* expected;
};

class Base64Strict : public ::testing::TestWithParam<Case> {};

TEST_P(Base64Strict, DecodesOrNamesTheFault) { EXPECT_EQ(b64_outcome(GetParam().input), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Std, Base64Strict,
    ::testing::Values(Case{"", "ok:"}, Case{"AA==", "ok:00"}, Case{"AAA=", "ok:0000"}, Case{"AAAA", "ok:000000"},
                      Case{"+/+/", "ok:fbffbf"},
                      // padding must be exactly what an encoder writes
                      Case{"AA", "Invalid padding"}, Case{"AAA", "Invalid padding"}, Case{"AA=", "Invalid padding"},
                      Case{"AAAAAA", "Invalid padding"},
                      // '=' too early, or followed by a symbol
                      Case{"A===", "Invalid symbol 61, offset 1."}, Case{"====", "Invalid symbol 61, offset 0."},
                      Case{"AA=A", "Invalid symbol 61, offset 2."}, Case{"AA==AAAA", "Invalid symbol 61, offset 2."},
                      Case{"AAAA=", "Invalid symbol 61, offset 4."},
                      // one symbol left over
                      Case{"A", "Invalid input length: 1"}, Case{"AAAAA", "Invalid input length: 5"},
                      // unused bits of the last symbol
                      Case{"AB==", "Invalid last symbol 66, offset 1."}, Case{"AAB=", "Invalid last symbol 66, offset 2."},
                      // nothing skipped; URL-safe symbols are not standard
                      Case{"AA A", "Invalid symbol 32, offset 2."}, Case{"AAAA\n", "Invalid symbol 10, offset 4."},
                      Case{"-_==", "Invalid symbol 45, offset 0."}, Case{"AA\xc3\xa9", "Invalid symbol 195, offset 2."},
                      // a stray last byte of a one-symbol remainder is reported before earlier faults
                      Case{"*AAA!", "Invalid symbol 33, offset 4."}, Case{"*AAAA", "Invalid symbol 42, offset 0."}));

TEST(Base64, RoundTripsEveryLength) {
  Bytes data;
  for (int n = 0; n < 70; ++n) {
    auto text = zelq::base64_encode(data);
    EXPECT_EQ(text.size(), (data.size() + 2) / 3 * 4);
    auto back = zelq::base64_decode(text);
    ASSERT_TRUE(back) << back.error();
    EXPECT_EQ(*back, data);
    auto url = zelq::base64url_encode(data);
    EXPECT_EQ(url.find('='), std::string::npos);
    auto url_back = zelq::base64url_decode(url);
    ASSERT_TRUE(url_back) << url_back.error();
    EXPECT_EQ(*url_back, data);
    data.push_back(static_cast<std::uint8_t>(n * 37 + 250));
  }
}

TEST(Base64Url, RefusesPaddingAndStandardSymbols) {
  EXPECT_EQ(zelq::base64url_decode("AA==").error(), "Invalid padding");
  EXPECT_EQ(zelq::base64url_decode("AAA=").error(), "Invalid padding");
  EXPECT_EQ(zelq::base64url_decode("A+AA").error(), "Invalid symbol 43, offset 1.");
  EXPECT_EQ(zelq::base64url_decode("AB").error(), "Invalid last symbol 66, offset 1.");
  EXPECT_EQ(zelq::hex_encode(*zelq::base64url_decode("-_8")), "fbff");
}

TEST(Base58, EncodesWithLeadingZerosAndRoundTrips) {
  EXPECT_EQ(zelq::base58_encode(Bytes{}), "");
  EXPECT_EQ(zelq::base58_encode(Bytes{0, 0, 1}), "112");
  EXPECT_EQ(zelq::base58_encode(Bytes{'h', 'e', 'l', 'l', 'o'}), "Cn8eVZg");
  Bytes data = {0, 0};
  for (int i = 0; i < 40; ++i) data.push_back(static_cast<std::uint8_t>(i * 91 + 7));
  auto back = zelq::base58_decode(zelq::base58_encode(data));
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, data);
  EXPECT_EQ(zelq::base58_decode("").value(), Bytes{});
  EXPECT_EQ(zelq::base58_decode("11").value(), (Bytes{0, 0}));
}

TEST(Base58, NamesTheFirstBadCharacter) {
  EXPECT_EQ(zelq::base58_decode("abc0").error(), "provided string contained invalid character '0' at byte 3");
  EXPECT_EQ(zelq::base58_decode("O").error(), "provided string contained invalid character 'O' at byte 0");
  EXPECT_EQ(zelq::base58_decode("ab'").error(), "provided string contained invalid character '\\'' at byte 2");
  EXPECT_EQ(zelq::base58_decode("a\n").error(), "provided string contained invalid character '\\n' at byte 1");
  EXPECT_EQ(zelq::base58_decode("a\x7f").error(), "provided string contained invalid character '\\u{7f}' at byte 1");
  EXPECT_EQ(zelq::base58_decode("ab\xc3\xa9").error(), "provided string contained non-ascii character starting at byte 2");
}

TEST(Base58, HugeInputFailsQuicklyWithTheBufferText) {
  const std::string too_small = "buffer provided to decode base58 encoded string into was too small";
  const std::string big(10 * 1024 * 1024, 'z');
  EXPECT_EQ(zelq::base58_decode(big).error(), too_small);
  const std::string ones(10 * 1024 * 1024, '1');
  EXPECT_EQ(zelq::base58_decode(ones).error(), too_small);
  // A bad character is named wherever it stands, also past the size cap.
  EXPECT_EQ(zelq::base58_decode("z0" + big).error(), "provided string contained invalid character '0' at byte 1");
  EXPECT_EQ(zelq::base58_decode(big + "0").error(),
            "provided string contained invalid character '0' at byte " + std::to_string(big.size()));
  EXPECT_EQ(zelq::base58_decode(ones + "\xc3").error(),
            "provided string contained non-ascii character starting at byte " + std::to_string(ones.size()));
  // Up to the bound, values decode exactly.
  EXPECT_EQ(zelq::base58_decode(std::string(2048, '1')).value().size(), 2048u);
  EXPECT_EQ(zelq::base58_decode(std::string(2049, '1')).error(), too_small);
}

TEST(Hex, DecodesEitherCaseAndNamesFaults) {
  EXPECT_EQ(zelq::hex_encode(*zelq::hex_decode("00aBfF")), "00abff");
  EXPECT_EQ(zelq::hex_decode("abc").error(), "Odd number of digits");
  EXPECT_EQ(zelq::hex_decode("zzz").error(), "Odd number of digits");
  EXPECT_EQ(zelq::hex_decode("0g").error(), "Invalid character 'g' at position 1");
  EXPECT_EQ(zelq::hex_decode("00 0").error(), "Invalid character ' ' at position 2");
  // A byte of 0x80 and above is shown as the code point of that number.
  EXPECT_EQ(zelq::hex_decode("\xc3\xa9").error(), "Invalid character '\xc3\x83' at position 0");
  EXPECT_EQ(zelq::hex_decode("0\xa0").error(), "Invalid character '\\u{a0}' at position 1");
  auto secret = zelq::hex_decode_secret("0102");
  ASSERT_TRUE(secret);
  EXPECT_EQ(secret->size(), 2u);
  EXPECT_EQ(secret->data()[1], 2);
}

}  // namespace
