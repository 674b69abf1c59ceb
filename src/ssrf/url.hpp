// A WHATWG URL parser for absolute URLs (no base URL), with the host parser
// and the serialiser. The fetcher on the other side parses by the same
// standard, so the URL we judge is the URL that gets fetched.
//
// The input is UTF-8. Bytes outside ASCII are percent-encoded wherever the
// standard encodes code points, and go through IDNA in domains.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/result.hpp"
#include "ssrf/ip.hpp"

namespace zelq::ssrf {

enum class UrlError : std::uint8_t {
  EmptyHost,
  IdnaError,
  InvalidPort,
  InvalidIpv4Address,
  InvalidIpv6Address,
  InvalidDomainCharacter,
  RelativeUrlWithoutBase,
  Overflow,
};

// "empty host", "invalid port number", ...
std::string_view url_error_text(UrlError e);

enum class HostKind : std::uint8_t {
  Empty,   // the empty host: "file:///x", or "foo://" with nothing after it
  Domain,  // a special URL's host after IDNA: ASCII, lowercase
  Opaque,  // a non-special URL's host, percent-encoded as written
  Ipv4,
  Ipv6,
};

struct Host {
  HostKind kind = HostKind::Domain;
  std::string text;  // serialised: dotted quad, "[v6]", or the name
  Ipv4Addr ipv4;     // when kind is Ipv4
  Ipv6Addr ipv6;     // when kind is Ipv6
};

struct Url {
  std::string scheme;  // lowercase, without ':'
  std::string username;
  std::string password;
  std::optional<Host> host;
  std::optional<std::uint16_t> port;  // absent when it is the scheme's default
  std::string path;                   // serialised path ("pathname")
  std::optional<std::string> query;   // without '?'
  std::optional<std::string> fragment;
  std::string href;  // the whole serialisation

  // The explicit port, or else the scheme's default.
  std::optional<std::uint16_t> port_or_default() const;
};

bool is_special_scheme(std::string_view scheme);
// 80 for http and ws, 443 for https and wss, 21 for ftp.
std::optional<std::uint16_t> default_port(std::string_view scheme);

Result<Url, UrlError> parse_url(std::string_view input);

// The host parser on its own. `opaque` for the host of a non-special URL.
Result<Host, UrlError> parse_host(std::string_view input, bool opaque);

}  // namespace zelq::ssrf
