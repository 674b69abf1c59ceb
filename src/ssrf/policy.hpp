// The SSRF policy: a verdict-only classifier of the URLs, resolved
// addresses and redirects that the host application is about to fetch. It
// does no DNS look-up and opens no socket; the host resolves names itself
// and asks check_ip about every address it got back.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "core/result.hpp"
#include "ssrf/ip.hpp"

namespace zelq::ssrf {

enum class SsrfReason : std::uint8_t {
  NonHttps,
  IpLiteral,
  InvalidUrl,
  Loopback,
  Private,
  Imds,
  MulticastOrReserved,
  CrossAuthority,
};

inline constexpr int kSsrfReasonCount = 8;

// The stable snake_case code the host sees ("non_https", ...).
std::string_view reason_code(SsrfReason r);

struct SsrfRejection {
  std::string message;
  SsrfReason reason;
};

using SsrfVerdict = Result<void, SsrfRejection>;

// check_ip's failures: text that is no address at all, or a rejection.
struct InvalidAddress {
  std::string message;
};
using CheckIpError = std::variant<InvalidAddress, SsrfRejection>;

struct SsrfPolicy {
  bool reject_ip_literals = true;
  bool allow_non_https = false;
  bool allow_loopback = false;

  // HTTPS only, IP literals rejected, every special-purpose range forbidden.
  static SsrfPolicy production() { return {true, false, false}; }
  // As production, but 127.0.0.0/8 and ::1 pass, so that a test harness can
  // reach a local listener. Never for production use.
  static SsrfPolicy allow_test_loopback() { return {true, false, true}; }

  SsrfVerdict check_url(std::string_view url) const;
  Result<void, CheckIpError> check_ip(std::string_view ip) const;

  static SsrfVerdict check_ip_addr(bool allow_loopback, const IpAddr& addr);
};

// The forbidden IPv4 range an address lies in, if any. Knows no loopback
// allowance.
std::optional<SsrfReason> classify_ipv4(Ipv4Addr a);

// Passes when both URLs share scheme, host and effective port.
SsrfVerdict check_redirect_authority(std::string_view from_url, std::string_view to_url);

}  // namespace zelq::ssrf
