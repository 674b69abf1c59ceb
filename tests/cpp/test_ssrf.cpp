// What the Python surface cannot reach: classify_ipv4 on its own, the strict
// address reader and the address text forms as units, and the policy flags
// that no preset sets. The preset verdicts are tested in tests/test_ssrf.py.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "ssrf/ip.hpp"
#include "ssrf/policy.hpp"

namespace {

using namespace zelq::ssrf;
using R = SsrfReason;
using OptR = std::optional<SsrfReason>;

Ipv4Addr v4(const char* s) { return *parse_ipv4_strict(s); }

std::string rejection_text(const SsrfVerdict& v) { return v.ok() ? "(passed)" : v.error().message; }

struct RangeCase {
  const char* ip;
  OptR reason;
};

// Each range with the addresses just inside and just outside it.
const RangeCase kIpv4Ranges[] = {
    {"0.0.0.0", R::MulticastOrReserved},   {"0.255.255.255", R::MulticastOrReserved}, {"1.0.0.0", {}},
    {"9.255.255.255", {}},                 {"10.0.0.0", R::Private},                  {"10.255.255.255", R::Private},
    {"11.0.0.0", {}},                      {"100.63.255.255", {}},                    {"100.64.0.0", R::Private},
    {"100.127.255.255", R::Private},       {"100.128.0.0", {}},                       {"126.255.255.255", {}},
    {"127.0.0.0", R::Loopback},            {"127.255.255.255", R::Loopback},          {"128.0.0.0", {}},
    {"169.253.255.255", {}},               {"169.254.0.0", R::Imds},                  {"169.254.255.255", R::Imds},
    {"169.255.0.0", {}},                   {"172.15.255.255", {}},                    {"172.16.0.0", R::Private},
    {"172.31.255.255", R::Private},        {"172.32.0.0", {}},                        {"191.255.255.255", {}},
    {"192.0.0.0", R::MulticastOrReserved}, {"192.0.0.255", R::MulticastOrReserved},   {"192.0.1.0", {}},
    {"192.0.2.1", {}},                     {"192.167.255.255", {}},                   {"192.168.0.0", R::Private},
    {"192.168.255.255", R::Private},       {"192.169.0.0", {}},                       {"198.17.255.255", {}},
    {"198.18.0.0", R::MulticastOrReserved}, {"198.19.255.255", R::MulticastOrReserved}, {"198.20.0.0", {}},
    {"198.51.100.1", {}},                  {"203.0.113.1", {}},                       {"223.255.255.255", {}},
    {"224.0.0.0", R::MulticastOrReserved}, {"240.0.0.1", R::MulticastOrReserved},     {"255.255.255.255", R::MulticastOrReserved},
    {"8.8.8.8", {}},
};

TEST(Ipv4Ranges, ClassifyOnBothSidesOfEveryBoundary) {
  for (const auto& c : kIpv4Ranges) {
    EXPECT_EQ(classify_ipv4(v4(c.ip)), c.reason) << c.ip;
  }
}

TEST(Ipv4Ranges, ClassifyKnowsNoLoopbackAllowance) {
  EXPECT_EQ(classify_ipv4(v4("127.0.0.1")), R::Loopback);
}

TEST(StrictIpReader, AcceptsTheStandardFormsOnly) {
  for (const char* ok : {"0.0.0.0", "255.255.255.255", "1.2.3.4", "::", "::1", "1::", "1:2:3:4:5:6:7:8",
                         "1:2:3:4:5:6:7::", "::2:3:4:5:6:7:8", "1:2:3:4:5:6:1.2.3.4", "::1.2.3.4", "::ffff:1.2.3.4",
                         "FFFF::", "0001:0db8::", "1::8", "1:2:3::7:8"}) {
    EXPECT_TRUE(parse_ip_strict(ok).has_value()) << ok;
  }
  for (const char* bad : {"", "01.2.3.4", "1.2.3.04", "1.2.3", "1.2.3.4.5", "256.1.1.1", "1234.1.1.1", " 1.2.3.4",
                          "1.2.3.4 ", "[::1]", "fe80::1%eth0", ":::", "1::2::3", "1:2:3:4:5:6:7:8:9",
                          "1:2:3:4:5:6:7:8::", "::1:2:3:4:5:6:7:8", "12345::", "1.2.3.4::", "1:2:1.2.3.4::", "::1.2.3",
                          "::01.2.3.4", "1:2:3:4:5:6:7:1.2.3.4", "0x7f.0.0.1", "2130706433", "127.1", ":1::", "1:",
                          "::ffff:1.2.3.4.5", "1:2:3:4:5:6:7", "g::"}) {
    EXPECT_FALSE(parse_ip_strict(bad).has_value()) << bad;
  }
}

TEST(AddressText, Rfc5952) {
  const std::pair<const char*, const char*> cases[] = {
      {"0:0:0:0:0:0:0:1", "::1"},
      {"FE80:0:0:0:0:0:0:1", "fe80::1"},
      {"::ffff:7f00:1", "::ffff:127.0.0.1"},
      {"::2", "::2"},                // not "::0.0.0.2" as inet_ntop writes it
      {"::1.2.3.4", "::102:304"},    // IPv4-compatible: plain hex
      {"1:0:0:1:0:0:0:1", "1:0:0:1::1"},
      {"1:0:0:2:0:0:3:4", "1::2:0:0:3:4"},  // first of two equal runs
      {"1:0:2:3:4:5:6:7", "1:0:2:3:4:5:6:7"},  // a single zero group stays
      {"0:0:1:0:0:0:0:0", "0:0:1::"},
      {"0001:0db8::00ff", "1:db8::ff"},
  };
  for (const auto& [in, out] : cases) {
    auto a = parse_ip_strict(in);
    ASSERT_TRUE(a) << in;
    EXPECT_EQ(format_ip(*a), out) << in;
  }
}

TEST(Reasons, CodesInOrder) {
  const char* codes[] = {"non_https", "ip_literal", "invalid_url", "loopback",
                         "private", "imds", "multicast_or_reserved", "cross_authority"};
  for (int i = 0; i < kSsrfReasonCount; ++i) EXPECT_EQ(reason_code(static_cast<SsrfReason>(i)), codes[i]);
}

struct UrlCase {
  const char* url;
  OptR reason;
  const char* message;  // nullptr: not checked
};

TEST(CheckUrl, FlagsThatNoPresetSets) {
  const SsrfPolicy open{false, true, false};
  const UrlCase cases[] = {
      {"file:///etc/passwd", R::InvalidUrl, "URL has no host: file:///etc/passwd"},
      {"file://localhost/etc/passwd", R::InvalidUrl, nullptr},
      {"mailto:a@example.com", R::InvalidUrl, "URL has no host: mailto:a@example.com"},
      {"foo://", R::InvalidUrl, nullptr},
      {"foo://Opaque.Host/", {}, nullptr},
      {"http://example.com/", {}, nullptr},
      {"http://10.0.0.1/", R::Private, "SSRF policy: IP address '10.0.0.1' is in a forbidden range"},
      {"http://0/", R::MulticastOrReserved, nullptr},
      {"http://[::1]/", R::Loopback, "SSRF policy: IP address '::1' is in a forbidden range"},
      {"http://[::ffff:0.0.0.0]/", R::MulticastOrReserved, nullptr},
      {"http://[fe80::1]/", R::Imds, nullptr},
      {"http://8.8.8.8/", {}, nullptr},
      {"foo://[fc00::1]/", R::Private, nullptr},
  };
  for (const auto& c : cases) {
    auto v = open.check_url(c.url);
    EXPECT_EQ(v.ok() ? OptR() : OptR(v.error().reason), c.reason) << c.url << ": " << rejection_text(v);
    if (c.message) {
      EXPECT_EQ(rejection_text(v), c.message) << c.url;
    }
  }
  const SsrfPolicy loopback_literals{false, false, true};
  EXPECT_TRUE(loopback_literals.check_url("https://127.0.0.1/").ok());
  EXPECT_TRUE(loopback_literals.check_url("https://[::1]/").ok());
  EXPECT_EQ(loopback_literals.check_url("https://[::ffff:127.0.0.1]/").error().reason, R::Loopback);
}

}  // namespace
