#include "ssrf/policy.hpp"

#include <array>

#include "ssrf/url.hpp"

namespace zelq::ssrf {

namespace {

constexpr std::array<std::string_view, kSsrfReasonCount> kReasonCodes = {
    "non_https", "ip_literal", "invalid_url", "loopback", "private", "imds", "multicast_or_reserved", "cross_authority",
};

Unexpected<SsrfRejection> reject(std::string message, SsrfReason reason) {
  return fail(SsrfRejection{std::move(message), reason});
}

Unexpected<SsrfRejection> forbidden_range(const IpAddr& addr, SsrfReason reason) {
  return reject("SSRF policy: IP address '" + format_ip(addr) + "' is in a forbidden range", reason);
}

std::optional<SsrfReason> classify_ipv6(bool allow_loopback, const Ipv6Addr& a) {
  constexpr Ipv6Addr kUnspecified{};
  constexpr Ipv6Addr kLoopback{{0, 0, 0, 0, 0, 0, 0, 1}};
  if (allow_loopback && a == kLoopback) return std::nullopt;
  if (a == kUnspecified) return SsrfReason::MulticastOrReserved;
  if (a == kLoopback) return SsrfReason::Loopback;
  if (a.byte(0) == 0xFF) return SsrfReason::MulticastOrReserved;

  // IPv4-compatible (::a.b.c.d) and IPv4-mapped (::ffff:a.b.c.d) addresses
  // reach the embedded IPv4 address, so the IPv4 ranges decide, with no
  // loopback allowance. That includes an embedded 0.0.0.0: a dual-stack
  // socket connects ::ffff:0.0.0.0 to this host, as 0.0.0.0 itself does.
  bool zero_prefix = a.pieces[0] == 0 && a.pieces[1] == 0 && a.pieces[2] == 0 && a.pieces[3] == 0 && a.pieces[4] == 0;
  if (zero_prefix && (a.pieces[5] == 0 || a.pieces[5] == 0xFFFF)) return classify_ipv4(a.low_ipv4());

  if (a.pieces[0] == 0x0064 && a.pieces[1] == 0xFF9B) return SsrfReason::Imds;  // 64:ff9b::/32, NAT64
  if ((a.pieces[0] & 0xFE00) == 0xFC00) return SsrfReason::Private;           // fc00::/7
  if ((a.pieces[0] & 0xFFC0) == 0xFE80) return SsrfReason::Imds;              // fe80::/10
  return std::nullopt;
}

}  // namespace

std::string_view reason_code(SsrfReason r) { return kReasonCodes[static_cast<std::size_t>(r)]; }

std::optional<SsrfReason> classify_ipv4(Ipv4Addr addr) {
  const unsigned a = addr.octet(0), b = addr.octet(1), c = addr.octet(2);
  if (a == 0) return SsrfReason::MulticastOrReserved;
  if (a == 10) return SsrfReason::Private;
  if (a == 100) return (b & 0xC0) == 0x40 ? std::optional(SsrfReason::Private) : std::nullopt;  // 100.64/10
  if (a == 127) return SsrfReason::Loopback;
  if (a == 169) return b == 254 ? std::optional(SsrfReason::Imds) : std::nullopt;
  if (a == 172) return (b & 0xF0) == 0x10 ? std::optional(SsrfReason::Private) : std::nullopt;  // 172.16/12
  if (a == 192) {
    if (b == 0 && c == 0) return SsrfReason::MulticastOrReserved;
    if (b == 168) return SsrfReason::Private;
    return std::nullopt;
  }
  if (a == 198) return (b & 0xFE) == 18 ? std::optional(SsrfReason::MulticastOrReserved) : std::nullopt;
  if (a >= 224) return SsrfReason::MulticastOrReserved;
  return std::nullopt;
}

SsrfVerdict SsrfPolicy::check_ip_addr(bool allow_loopback, const IpAddr& addr) {
  std::optional<SsrfReason> reason;
  if (const auto* v4 = std::get_if<Ipv4Addr>(&addr)) {
    if (!(allow_loopback && v4->octet(0) == 127)) reason = classify_ipv4(*v4);
  } else {
    reason = classify_ipv6(allow_loopback, std::get<Ipv6Addr>(addr));
  }
  if (reason) return forbidden_range(addr, *reason);
  return {};
}

SsrfVerdict SsrfPolicy::check_url(std::string_view url) const {
  auto parsed = parse_url(url);
  if (!parsed) return reject("invalid URL: " + std::string(url_error_text(parsed.error())), SsrfReason::InvalidUrl);
  const Url& u = *parsed;
  if (!allow_non_https && u.scheme != "https") {
    return reject("SSRF policy: scheme '" + u.scheme + "' not permitted; only https", SsrfReason::NonHttps);
  }
  if (!u.host || u.host->kind == HostKind::Empty) {
    return reject("URL has no host: " + std::string(url), SsrfReason::InvalidUrl);
  }
  const Host& h = *u.host;
  switch (h.kind) {
    case HostKind::Ipv4:
      if (reject_ip_literals) {
        return reject("SSRF policy: IPv4 literal '" + h.text + "' not permitted; use a hostname", SsrfReason::IpLiteral);
      }
      return check_ip_addr(allow_loopback, h.ipv4);
    case HostKind::Ipv6:
      if (reject_ip_literals) {
        return reject("SSRF policy: IPv6 literal '" + format_ipv6(h.ipv6) + "' not permitted; use a hostname",
                      SsrfReason::IpLiteral);
      }
      return check_ip_addr(allow_loopback, h.ipv6);
    default:
      // Names are not judged here: the host resolves them and asks
      // check_ip about every answer.
      if (h.text.empty() || h.text.size() > 253) {
        return reject("SSRF policy: invalid hostname length: " + h.text, SsrfReason::InvalidUrl);
      }
      return {};
  }
}

Result<void, CheckIpError> SsrfPolicy::check_ip(std::string_view ip) const {
  auto addr = parse_ip_strict(ip);
  if (!addr) {
    return fail(CheckIpError{InvalidAddress{"invalid IP address '" + std::string(ip) + "': invalid IP address syntax"}});
  }
  auto verdict = check_ip_addr(allow_loopback, *addr);
  if (!verdict) return fail(CheckIpError{std::move(verdict).error()});
  return {};
}

SsrfVerdict check_redirect_authority(std::string_view from_url, std::string_view to_url) {
  auto from = parse_url(from_url);
  if (!from) return reject("invalid origin URL: " + std::string(url_error_text(from.error())), SsrfReason::InvalidUrl);
  auto to = parse_url(to_url);
  if (!to) return reject("invalid redirect URL: " + std::string(url_error_text(to.error())), SsrfReason::InvalidUrl);

  // The empty host and no host are one: neither names anything to fetch.
  auto host_text = [](const Url& u) -> std::optional<std::string_view> {
    if (!u.host || u.host->kind == HostKind::Empty) return std::nullopt;
    return u.host->text;
  };
  bool same = from->scheme == to->scheme && host_text(*from) == host_text(*to) &&
              from->port_or_default() == to->port_or_default();
  if (!same) {
    return reject("SSRF policy: cross-authority redirect rejected: " + from->href + " \u2192 " + to->href,
                  SsrfReason::CrossAuthority);
  }
  return {};
}

}  // namespace zelq::ssrf
