// The SSRF policy's rules: address ranges on both sides of every boundary,
// the strict address reader, the address text forms, and the policy flags
// that no preset reaches.
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

// The reason of check_ip, or nullopt when it passes.
OptR ip_reason(const SsrfPolicy& p, const char* ip) {
  auto r = p.check_ip(ip);
  if (r.ok()) return std::nullopt;
  const auto* rej = std::get_if<SsrfRejection>(&r.error());
  if (rej == nullptr) ADD_FAILURE() << ip << " did not parse";
  return rej ? OptR(rej->reason) : std::nullopt;
}

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
    EXPECT_EQ(ip_reason(SsrfPolicy::production(), c.ip), c.reason) << c.ip;
    // The same verdict reaches through the IPv4-mapped and IPv4-compatible
    // forms (0.0.0.0 in the compatible form is "::" itself).
    std::string mapped = std::string("::ffff:") + c.ip;
    EXPECT_EQ(ip_reason(SsrfPolicy::production(), mapped.c_str()), c.reason) << mapped;
  }
}

TEST(Ipv4Ranges, LoopbackAllowanceCoversOnlyTheLoopbackBlock) {
  auto test = SsrfPolicy::allow_test_loopback();
  EXPECT_EQ(ip_reason(test, "127.0.0.1"), std::nullopt);
  EXPECT_EQ(ip_reason(test, "127.255.255.255"), std::nullopt);
  EXPECT_EQ(ip_reason(test, "126.255.255.255"), std::nullopt);
  EXPECT_EQ(ip_reason(test, "10.0.0.1"), R::Private);
  EXPECT_EQ(ip_reason(test, "0.0.0.0"), R::MulticastOrReserved);
  // classify_ipv4 itself knows no allowance.
  EXPECT_EQ(classify_ipv4(v4("127.0.0.1")), R::Loopback);
}

struct V6Case {
  const char* ip;
  OptR production;
  OptR test_loopback;
};

const V6Case kIpv6Rules[] = {
    {"::", R::MulticastOrReserved, R::MulticastOrReserved},
    {"::1", R::Loopback, {}},
    {"0:0:0:0:0:0:0:1", R::Loopback, {}},
    // Embedded IPv4 decides, with no loopback allowance.
    {"::ffff:127.0.0.1", R::Loopback, R::Loopback},
    {"::ffff:10.1.2.3", R::Private, R::Private},
    {"::ffff:8.8.8.8", {}, {}},
    {"::2", R::MulticastOrReserved, R::MulticastOrReserved},  // IPv4-compatible 0.0.0.2
    {"::127.0.0.1", R::Loopback, R::Loopback},
    {"::8.8.8.8", {}, {}},
    // An embedded 0.0.0.0 reaches this host through a dual-stack socket.
    {"::ffff:0.0.0.0", R::MulticastOrReserved, R::MulticastOrReserved},
    {"::ffff:0:0", R::MulticastOrReserved, R::MulticastOrReserved},
    // Neither mapped nor compatible: the IPv6 rules apply.
    {"::fffe:7f00:1", {}, {}},
    {"::1:ffff:7f00:1", {}, {}},
    {"0:0:0:0:1::1", {}, {}},
    // ff00::/8
    {"feff:ffff:ffff:ffff:ffff:ffff:ffff:ffff", {}, {}},
    {"ff00::", R::MulticastOrReserved, R::MulticastOrReserved},
    {"ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff", R::MulticastOrReserved, R::MulticastOrReserved},
    // 64:ff9b::/32
    {"64:ff9a:ffff:ffff:ffff:ffff:ffff:ffff", {}, {}},
    {"64:ff9b::", R::Imds, R::Imds},
    {"64:ff9b::1:2", R::Imds, R::Imds},
    {"64:ff9b:ffff:ffff:ffff:ffff:ffff:ffff", R::Imds, R::Imds},
    {"64:ff9c::", {}, {}},
    // fc00::/7
    {"fbff:ffff:ffff:ffff:ffff:ffff:ffff:ffff", {}, {}},
    {"fc00::", R::Private, R::Private},
    {"fdff:ffff:ffff:ffff:ffff:ffff:ffff:ffff", R::Private, R::Private},
    {"fe00::", {}, {}},
    // fe80::/10
    {"fe7f:ffff:ffff:ffff:ffff:ffff:ffff:ffff", {}, {}},
    {"fe80::", R::Imds, R::Imds},
    {"febf:ffff:ffff:ffff:ffff:ffff:ffff:ffff", R::Imds, R::Imds},
    {"fec0::", {}, {}},
    {"2001:db8::1", {}, {}},
    {"2606:4700::1111", {}, {}},
};

TEST(Ipv6Ranges, RulesInOrder) {
  for (const auto& c : kIpv6Rules) {
    EXPECT_EQ(ip_reason(SsrfPolicy::production(), c.ip), c.production) << c.ip;
    EXPECT_EQ(ip_reason(SsrfPolicy::allow_test_loopback(), c.ip), c.test_loopback) << c.ip;
  }
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

TEST(StrictIpReader, InvalidTextIsNoRejection) {
  auto r = SsrfPolicy::production().check_ip("[::1]");
  ASSERT_FALSE(r.ok());
  const auto* bad = std::get_if<InvalidAddress>(&r.error());
  ASSERT_NE(bad, nullptr);
  EXPECT_EQ(bad->message, "invalid IP address '[::1]': invalid IP address syntax");
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

TEST(Messages, ForbiddenRangeUsesStandardText) {
  auto p = SsrfPolicy::allow_test_loopback();
  auto r = p.check_ip("0:0:0:0:0:ffff:7f00:0001");
  ASSERT_FALSE(r.ok());
  const auto& rej = std::get<SsrfRejection>(r.error());
  EXPECT_EQ(rej.message, "SSRF policy: IP address '::ffff:127.0.0.1' is in a forbidden range");
  EXPECT_EQ(rej.reason, R::Loopback);
  auto r4 = SsrfPolicy::production().check_ip("169.254.169.254");
  EXPECT_EQ(std::get<SsrfRejection>(r4.error()).message,
            "SSRF policy: IP address '169.254.169.254' is in a forbidden range");
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

TEST(CheckUrl, Production) {
  std::string long_host(250, 'a');
  long_host += ".com";  // 254 bytes
  std::string max_host = std::string(249, 'a') + ".com";
  const UrlCase cases[] = {
      {"http://example.com/", R::NonHttps, "SSRF policy: scheme 'http' not permitted; only https"},
      {"http://127.0.0.1/", R::NonHttps, nullptr},  // the scheme is judged before the host
      {"HTTPS://Example.COM/", {}, nullptr},
      {"https://localhost/", {}, nullptr},
      {"https://user:pw@example.com:8443/a?b#c", {}, nullptr},
      {"https://2130706433/", R::IpLiteral, "SSRF policy: IPv4 literal '127.0.0.1' not permitted; use a hostname"},
      {"https://0x7f.1/", R::IpLiteral, "SSRF policy: IPv4 literal '127.0.0.1' not permitted; use a hostname"},
      {"https://0300.0250.1.1/", R::IpLiteral, "SSRF policy: IPv4 literal '192.168.1.1' not permitted; use a hostname"},
      {"https://8.8.8.8/", R::IpLiteral, nullptr},
      {"https://[0:0::FFFF:7f00:1]/", R::IpLiteral,
       "SSRF policy: IPv6 literal '::ffff:127.0.0.1' not permitted; use a hostname"},
      {"https://[2001:db8::1]/", R::IpLiteral, "SSRF policy: IPv6 literal '2001:db8::1' not permitted; use a hostname"},
      {"https://", R::InvalidUrl, "invalid URL: empty host"},
      {"example.com", R::InvalidUrl, "invalid URL: relative URL without a base"},
      {"https://a:99999/", R::InvalidUrl, "invalid URL: invalid port number"},
      {"https://1.2.3.256/", R::InvalidUrl, "invalid URL: invalid IPv4 address"},
      {"https://[::1/", R::InvalidUrl, "invalid URL: invalid IPv6 address"},
      {"https://exa mple.com/", R::InvalidUrl, "invalid URL: invalid domain character"},
      {"https://xn--a.\xC3\x9F/", R::InvalidUrl, "invalid URL: invalid international domain name"},
  };
  auto p = SsrfPolicy::production();
  for (const auto& c : cases) {
    auto v = p.check_url(c.url);
    EXPECT_EQ(v.ok() ? OptR() : OptR(v.error().reason), c.reason) << c.url << ": " << rejection_text(v);
    if (c.message) {
      EXPECT_EQ(rejection_text(v), c.message) << c.url;
    }
  }
  EXPECT_TRUE(p.check_url("https://" + max_host + "/").ok());
  EXPECT_TRUE(p.check_url("https://" + max_host.substr(1) + "./").ok());  // the trailing dot counts
  auto v = p.check_url("https://" + long_host + "/");
  EXPECT_EQ(rejection_text(v), "SSRF policy: invalid hostname length: " + long_host);
  EXPECT_EQ(v.error().reason, R::InvalidUrl);
}

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

TEST(RedirectAuthority, SameOrCrossed) {
  struct Case {
    const char* from;
    const char* to;
    OptR reason;
  };
  const Case cases[] = {
      {"https://a.example:443/x", "https://a.example/y?q", {}},
      {"https://u:p@a.example/", "https://other@a.example/", {}},
      {"https://A.EXAMPLE/", "https://a.example./", R::CrossAuthority},
      {"https://A.Example/", "https://a.example/", {}},
      {"https://[::1]/", "https://[0:0::1]:443/", {}},
      {"http://a.example:80/", "http://a.example/", {}},
      {"ftp://a.example:21/", "ftp://a.example/", {}},
      {"ws://a.example/", "http://a.example/", R::CrossAuthority},
      {"https://a.example/", "https://a.example:8443/", R::CrossAuthority},
      {"https://a.example/", "https://b.example/", R::CrossAuthority},
      {"foo://a/", "foo://a:1/", R::CrossAuthority},
      {"foo://a/x", "foo://a/y", {}},
      {"foo:x", "foo:y", {}},
      {"foo:x", "foo://a/", R::CrossAuthority},
      {"file:///a", "file://localhost/b", {}},
  };
  for (const auto& c : cases) {
    auto v = check_redirect_authority(c.from, c.to);
    EXPECT_EQ(v.ok() ? OptR() : OptR(v.error().reason), c.reason) << c.from << " -> " << c.to;
  }
  EXPECT_EQ(rejection_text(check_redirect_authority("https://a.example", "http://a.example")),
            "SSRF policy: cross-authority redirect rejected: https://a.example/ \u2192 http://a.example/");
  auto bad_from = check_redirect_authority("https://", "https://a/");
  EXPECT_EQ(rejection_text(bad_from), "invalid origin URL: empty host");
  EXPECT_EQ(bad_from.error().reason, R::InvalidUrl);
  auto relative = check_redirect_authority("https://a/", "/next");
  EXPECT_EQ(rejection_text(relative), "invalid redirect URL: relative URL without a base");
  EXPECT_EQ(relative.error().reason, R::InvalidUrl);
}

}  // namespace
