// IPv4 and IPv6 addresses: the strict text reader used for resolver
// answers, and the text forms used in messages and URL hosts.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace zelq::ssrf {

struct Ipv4Addr {
  std::uint32_t value = 0;  // host order: the first octet is the top byte

  std::uint8_t octet(int i) const { return static_cast<std::uint8_t>(value >> (24 - 8 * i)); }
  friend bool operator==(Ipv4Addr, Ipv4Addr) = default;
};

struct Ipv6Addr {
  std::array<std::uint16_t, 8> pieces{};

  std::uint8_t byte(int i) const {
    auto p = pieces[static_cast<std::size_t>(i / 2)];
    return static_cast<std::uint8_t>(i % 2 == 0 ? p >> 8 : p & 0xFF);
  }
  // The IPv4 address in the last 32 bits.
  Ipv4Addr low_ipv4() const {
    return Ipv4Addr{(static_cast<std::uint32_t>(pieces[6]) << 16) | pieces[7]};
  }
  friend bool operator==(const Ipv6Addr&, const Ipv6Addr&) = default;
};

using IpAddr = std::variant<Ipv4Addr, Ipv6Addr>;

// Strict address syntax, as a resolver hands addresses over: IPv4 as
// exactly four decimal parts (no leading zeros, each at most 255); IPv6 in
// the RFC 4291 text forms with at most one "::" (standing for at least one
// zero group) and an optional dotted IPv4 tail. Nothing else: no brackets,
// zone suffixes, blanks, or the legacy numeric IPv4 forms.
std::optional<Ipv4Addr> parse_ipv4_strict(std::string_view s);
std::optional<Ipv6Addr> parse_ipv6_strict(std::string_view s);
std::optional<IpAddr> parse_ip_strict(std::string_view s);

// Dotted quad.
std::string format_ipv4(Ipv4Addr a);
// RFC 5952: lowercase hex, the first longest run of two or more zero groups
// written "::", and an IPv4-mapped address as "::ffff:" plus its dotted quad.
// IPv4-compatible addresses (::a.b.c.d) are plain hex, unlike inet_ntop.
std::string format_ipv6(const Ipv6Addr& a);
// The URL host form (without brackets): the same compression, never a
// dotted tail.
std::string format_ipv6_host(const Ipv6Addr& a);
std::string format_ip(const IpAddr& a);

}  // namespace zelq::ssrf
