#include "ssrf/url.hpp"

#include <array>
#include <cstddef>
#include <vector>

#include "core/ascii.hpp"
#include "core/codec.hpp"
#include "ssrf/idna.hpp"

namespace zelq::ssrf {

namespace {

constexpr int kEof = -1;

using ascii::hex_value;
using ascii::is_alpha;
using ascii::is_digit;
using ascii::to_lower;

bool equals_ascii_nocase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (to_lower(static_cast<unsigned char>(a[i])) != b[i]) return false;
  }
  return true;
}

// ---- percent-encode sets ---------------------------------------------------
// Each set is a bit; a byte above 0x7E is in every set.

enum EncodeSet : std::uint8_t { kC0Control, kFragment, kQuery, kSpecialQuery, kPath, kUserinfo };

struct SetDef {
  EncodeSet set;
  EncodeSet base;
  std::string_view extra;
};

constexpr SetDef kSetDefs[] = {
    {kFragment, kC0Control, " \"<>`"},
    {kQuery, kC0Control, " \"#<>"},
    {kSpecialQuery, kQuery, "'"},
    {kPath, kQuery, "?^`{}"},
    {kUserinfo, kPath, "/:;=@[\\]^|"},
};

constexpr std::array<std::uint8_t, 128> build_encode_sets() {
  std::array<std::uint8_t, 128> t{};
  for (int c = 0; c < 0x20; ++c) t[static_cast<std::size_t>(c)] = 1u << kC0Control;
  t[0x7F] = 1u << kC0Control;
  for (const auto& d : kSetDefs) {
    for (auto& bits : t) {
      if (bits & (1u << d.base)) bits = static_cast<std::uint8_t>(bits | (1u << d.set));
    }
    for (char ch : d.extra) {
      auto& bits = t[static_cast<unsigned char>(ch)];
      bits = static_cast<std::uint8_t>(bits | (1u << d.set));
    }
  }
  return t;
}

constexpr auto kEncodeSets = build_encode_sets();

void append_encoded(std::string& out, int c, EncodeSet set) {
  constexpr const char* kHex = ascii::kUpperHexDigits;
  auto b = static_cast<unsigned char>(c);
  if (b >= 0x80 || (kEncodeSets[b] & (1u << set))) {
    out += '%';
    out += kHex[b >> 4];
    out += kHex[b & 0xF];
  } else {
    out += static_cast<char>(b);
  }
}

// ---- host code points ------------------------------------------------------

constexpr std::string_view kForbiddenHost{"\0\t\n\r #/:<>?@[\\]^|", 17};

bool forbidden_host(unsigned char c) { return kForbiddenHost.find(static_cast<char>(c)) != std::string_view::npos; }

bool forbidden_domain(unsigned char c) { return forbidden_host(c) || c < 0x20 || c == '%' || c == 0x7F; }

// ---- domains ----------------------------------------------------------------

Result<std::string, UrlError> host_name_to_ascii(std::string_view domain) {
  // An ASCII name is only lowercased: labels are not validated, not even
  // "xn--" ones, exactly as browsers treat them.
  if (ascii::all_of(domain, [](int c) { return c < 0x80; })) {
    std::string out(domain);
    for (auto& ch : out) ch = to_lower(static_cast<unsigned char>(ch));
    return out;
  }
  auto out = domain_to_ascii(domain);
  if (!out) return fail(UrlError::IdnaError);
  return std::move(*out);
}

// ---- IPv4 in the URL's lenient forms -----------------------------------------

// Any value past 2^32 fails the same way, so larger numbers are clamped.
constexpr std::uint64_t kNumberCap = std::uint64_t{1} << 40;

// A part in decimal, octal ("0" prefix) or hexadecimal ("0x" prefix).
std::optional<std::uint64_t> ipv4_number(std::string_view s) {
  if (s.empty()) return std::nullopt;
  unsigned radix = 10;
  if (s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    s.remove_prefix(2);
    radix = 16;
  } else if (s.size() >= 2 && s[0] == '0') {
    s.remove_prefix(1);
    radix = 8;
  }
  std::uint64_t v = 0;
  for (char ch : s) {
    int d = hex_value(static_cast<unsigned char>(ch));
    if (d < 0 || static_cast<unsigned>(d) >= radix) return std::nullopt;
    v = v * radix + static_cast<unsigned>(d);
    if (v > kNumberCap) v = kNumberCap;
  }
  return v;
}

// Whether a host name is to be read as an IPv4 address: its last label
// (ignoring one trailing dot) is a number.
bool ends_in_number(std::string_view s) {
  if (!s.empty() && s.back() == '.') {
    if (s.size() == 1) return false;
    s.remove_suffix(1);
  }
  auto dot = s.rfind('.');
  std::string_view last = dot == std::string_view::npos ? s : s.substr(dot + 1);
  if (!last.empty() && last.find_first_not_of("0123456789") == std::string_view::npos) return true;
  return ipv4_number(last).has_value();
}

Result<Ipv4Addr, UrlError> parse_ipv4_lenient(std::string_view s) {
  if (!s.empty() && s.back() == '.' && s.size() > 1) s.remove_suffix(1);
  std::vector<std::uint64_t> numbers;
  std::size_t start = 0;
  while (true) {
    if (numbers.size() == 4) return fail(UrlError::InvalidIpv4Address);
    auto dot = s.find('.', start);
    auto n = ipv4_number(s.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start));
    if (!n) return fail(UrlError::InvalidIpv4Address);
    numbers.push_back(*n);
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  std::uint64_t value = numbers.back();
  for (std::size_t i = 0; i + 1 < numbers.size(); ++i) {
    if (numbers[i] > 255) return fail(UrlError::InvalidIpv4Address);
    value += numbers[i] << (8 * (3 - i));
  }
  if (numbers.back() >= (std::uint64_t{1} << (8 * (5 - numbers.size())))) return fail(UrlError::InvalidIpv4Address);
  return Ipv4Addr{static_cast<std::uint32_t>(value)};
}

// ---- IPv6 as URL hosts write it ------------------------------------------------

std::optional<Ipv6Addr> parse_ipv6_url(std::string_view s) {
  Ipv6Addr a;
  auto& piece_at = a.pieces;
  int piece = 0;
  int compress = -1;
  std::size_t p = 0;
  auto c = [&](std::size_t i) { return i < s.size() ? static_cast<unsigned char>(s[i]) : kEof; };
  auto put = [&](int i, unsigned v) { piece_at[static_cast<std::size_t>(i)] = static_cast<std::uint16_t>(v); };

  if (c(p) == ':') {
    if (c(p + 1) != ':') return std::nullopt;
    p += 2;
    compress = ++piece;
  }
  while (c(p) != kEof) {
    if (piece == 8) return std::nullopt;
    if (c(p) == ':') {
      if (compress != -1) return std::nullopt;
      ++p;
      compress = ++piece;
      continue;
    }
    unsigned value = 0;
    std::size_t length = 0;
    while (length < 4 && hex_value(c(p)) >= 0) {
      value = value * 16 + static_cast<unsigned>(hex_value(c(p)));
      ++p;
      ++length;
    }
    if (c(p) == '.') {
      // A dotted IPv4 tail filling the last two pieces.
      if (length == 0 || piece > 6) return std::nullopt;
      p -= length;
      int seen = 0;
      while (c(p) != kEof) {
        if (seen > 0) {
          if (c(p) != '.' || seen >= 4) return std::nullopt;
          ++p;
        }
        if (!is_digit(c(p))) return std::nullopt;
        int octet = -1;
        while (is_digit(c(p))) {
          int d = c(p) - '0';
          if (octet == 0) return std::nullopt;  // no leading zeros
          octet = octet == -1 ? d : octet * 10 + d;
          if (octet > 255) return std::nullopt;
          ++p;
        }
        put(piece, piece_at[static_cast<std::size_t>(piece)] * 0x100u + static_cast<unsigned>(octet));
        ++seen;
        if (seen == 2 || seen == 4) ++piece;
      }
      if (seen != 4) return std::nullopt;
      break;
    }
    if (c(p) == ':') {
      ++p;
      if (c(p) == kEof) return std::nullopt;
    } else if (c(p) != kEof) {
      return std::nullopt;
    }
    put(piece++, value);
  }
  if (compress != -1) {
    int swaps = piece - compress;
    piece = 7;
    while (piece != 0 && swaps > 0) {
      std::swap(piece_at[static_cast<std::size_t>(piece)], piece_at[static_cast<std::size_t>(compress + swaps - 1)]);
      --piece;
      --swaps;
    }
  } else if (piece != 8) {
    return std::nullopt;
  }
  return a;
}

// ---- the URL state machine ---------------------------------------------------

enum class State : std::uint8_t {
  SchemeStart,
  Scheme,
  SpecialAuthoritySlashes,
  SpecialAuthorityIgnoreSlashes,
  PathOrAuthority,
  Authority,
  Host,
  Port,
  File,
  FileSlash,
  FileHost,
  PathStart,
  Path,
  OpaquePath,
  Query,
  Fragment,
};

// "C:" or "C|"
bool is_windows_drive_letter(std::string_view s) {
  return s.size() == 2 && is_alpha(static_cast<unsigned char>(s[0])) && (s[1] == ':' || s[1] == '|');
}

bool is_single_dot(std::string_view s) { return s == "." || equals_ascii_nocase(s, "%2e"); }

bool is_double_dot(std::string_view s) {
  return s == ".." || equals_ascii_nocase(s, ".%2e") || equals_ascii_nocase(s, "%2e.") ||
         equals_ascii_nocase(s, "%2e%2e");
}

Host empty_host() { return Host{HostKind::Empty, "", {}, {}}; }

class Parser {
 public:
  explicit Parser(std::string_view in) : in_(in), n_(static_cast<std::ptrdiff_t>(in.size())) {}

  Result<Url, UrlError> run() {
    while (true) {
      if (auto e = step(at(p_))) return fail(*e);
      if (p_ >= n_) break;
      ++p_;
    }
    return build();
  }

 private:
  int at(std::ptrdiff_t i) const { return i >= 0 && i < n_ ? static_cast<unsigned char>(in_[static_cast<std::size_t>(i)]) : kEof; }
  bool next_is(char c) const { return at(p_ + 1) == c; }
  void back(std::size_t k = 1) { p_ -= static_cast<std::ptrdiff_t>(k); }
  // The characters that end an authority, host or port.
  bool ends_authority(int c) const { return c == kEof || c == '/' || c == '?' || c == '#' || (special_ && c == '\\'); }

  std::optional<UrlError> step(int c) {
    switch (state_) {
      case State::SchemeStart:
        if (!is_alpha(c)) return UrlError::RelativeUrlWithoutBase;
        buffer_ += to_lower(c);
        state_ = State::Scheme;
        return {};
      case State::Scheme:
        if (is_alpha(c) || is_digit(c) || c == '+' || c == '-' || c == '.') {
          buffer_ += to_lower(c);
          return {};
        }
        if (c != ':') return UrlError::RelativeUrlWithoutBase;
        scheme_ = std::move(buffer_);
        buffer_.clear();
        special_ = is_special_scheme(scheme_);
        if (scheme_ == "file") {
          state_ = State::File;
        } else if (special_) {
          state_ = State::SpecialAuthoritySlashes;
        } else if (next_is('/')) {
          state_ = State::PathOrAuthority;
          ++p_;
        } else {
          opaque_path_ = std::string();
          state_ = State::OpaquePath;
        }
        return {};
      case State::SpecialAuthoritySlashes:
        state_ = State::SpecialAuthorityIgnoreSlashes;
        if (c == '/' && next_is('/')) {
          ++p_;
        } else {
          back();
        }
        return {};
      case State::SpecialAuthorityIgnoreSlashes:
        if (c != '/' && c != '\\') {
          state_ = State::Authority;
          back();
        }
        return {};
      case State::PathOrAuthority:
        if (c == '/') {
          state_ = State::Authority;
        } else {
          state_ = State::Path;
          back();
        }
        return {};
      case State::Authority:
        return authority(c);
      case State::Host:
        return host(c);
      case State::Port:
        return port(c);
      case State::File:
        host_ = empty_host();
        if (c == '/' || c == '\\') {
          state_ = State::FileSlash;
        } else {
          state_ = State::Path;
          back();
        }
        return {};
      case State::FileSlash:
        if (c == '/' || c == '\\') {
          state_ = State::FileHost;
        } else {
          state_ = State::Path;
          back();
        }
        return {};
      case State::FileHost:
        return file_host(c);
      case State::PathStart:
        path_start(c);
        return {};
      case State::Path:
        path(c);
        return {};
      case State::OpaquePath:
        if (c == '?') {
          query_ = std::string();
          state_ = State::Query;
        } else if (c == '#') {
          fragment_ = std::string();
          state_ = State::Fragment;
        } else if (c == ' ') {
          // A space right before the query or fragment is encoded, so that
          // the serialisation does not end the path in a space.
          *opaque_path_ += next_is('?') || next_is('#') ? "%20" : " ";
        } else if (c != kEof) {
          append_encoded(*opaque_path_, c, kC0Control);
        }
        return {};
      case State::Query:
        if (c == '#') {
          fragment_ = std::string();
          state_ = State::Fragment;
        } else if (c != kEof) {
          append_encoded(*query_, c, special_ ? kSpecialQuery : kQuery);
        }
        return {};
      case State::Fragment:
        if (c != kEof) append_encoded(*fragment_, c, kFragment);
        return {};
    }
    return {};
  }

  std::optional<UrlError> authority(int c) {
    if (c == '@') {
      // Everything up to the last '@' is user information; an earlier '@'
      // is part of it.
      if (at_sign_seen_) buffer_.insert(0, "%40");
      at_sign_seen_ = true;
      for (char ch : buffer_) {
        if (ch == ':' && !password_token_seen_) {
          password_token_seen_ = true;
          continue;
        }
        append_encoded(password_token_seen_ ? password_ : username_, static_cast<unsigned char>(ch), kUserinfo);
      }
      buffer_.clear();
    } else if (ends_authority(c)) {
      if (at_sign_seen_ && buffer_.empty()) return UrlError::EmptyHost;
      back(buffer_.size() + 1);
      buffer_.clear();
      state_ = State::Host;
    } else {
      buffer_ += static_cast<char>(c);
    }
    return {};
  }

  std::optional<UrlError> host(int c) {
    if (c == ':' && !inside_brackets_) {
      if (buffer_.empty()) return UrlError::EmptyHost;
      if (auto e = take_host()) return e;
      state_ = State::Port;
    } else if (ends_authority(c)) {
      back();
      if (special_ && buffer_.empty()) return UrlError::EmptyHost;
      if (auto e = take_host()) return e;
      state_ = State::PathStart;
    } else {
      if (c == '[') inside_brackets_ = true;
      if (c == ']') inside_brackets_ = false;
      buffer_ += static_cast<char>(c);
    }
    return {};
  }

  std::optional<UrlError> take_host() {
    auto h = parse_host(buffer_, !special_);
    if (!h) return h.error();
    host_ = std::move(h).value();
    buffer_.clear();
    return {};
  }

  std::optional<UrlError> port(int c) {
    if (is_digit(c)) {
      buffer_ += static_cast<char>(c);
      return {};
    }
    if (!ends_authority(c)) return UrlError::InvalidPort;
    if (!buffer_.empty()) {
      std::uint32_t v = 0;
      for (char ch : buffer_) {
        v = v * 10 + static_cast<std::uint32_t>(ch - '0');
        if (v > 65535) return UrlError::InvalidPort;
      }
      auto value = static_cast<std::uint16_t>(v);
      if (default_port(scheme_) == value) {
        port_.reset();
      } else {
        port_ = value;
      }
      buffer_.clear();
    }
    state_ = State::PathStart;
    back();
    return {};
  }

  std::optional<UrlError> file_host(int c) {
    if (!(c == kEof || c == '/' || c == '\\' || c == '?' || c == '#')) {
      buffer_ += static_cast<char>(c);
      return {};
    }
    back();
    if (is_windows_drive_letter(buffer_)) {
      // "file://C:/x" names a drive, not a host: the buffer is kept and
      // becomes the first path segment.
      state_ = State::Path;
    } else if (buffer_.empty()) {
      host_ = empty_host();
      state_ = State::PathStart;
    } else {
      auto h = parse_host(buffer_, false);
      if (!h) return h.error();
      host_ = h->text == "localhost" ? empty_host() : std::move(h).value();
      buffer_.clear();
      state_ = State::PathStart;
    }
    return {};
  }

  void path_start(int c) {
    if (special_) {
      state_ = State::Path;
      if (c != '/' && c != '\\') back();
    } else if (c == '?') {
      query_ = std::string();
      state_ = State::Query;
    } else if (c == '#') {
      fragment_ = std::string();
      state_ = State::Fragment;
    } else if (c != kEof) {
      state_ = State::Path;
      if (c != '/') back();
    }
  }

  void path(int c) {
    bool slash = c == '/' || (special_ && c == '\\');
    if (!(c == kEof || slash || c == '?' || c == '#')) {
      append_encoded(buffer_, c, kPath);
      return;
    }
    if (is_double_dot(buffer_)) {
      shorten_path();
      if (!slash) path_.emplace_back();
    } else if (is_single_dot(buffer_)) {
      if (!slash) path_.emplace_back();
    } else {
      if (scheme_ == "file" && path_.empty() && is_windows_drive_letter(buffer_)) buffer_[1] = ':';
      path_.push_back(buffer_);
    }
    buffer_.clear();
    if (c == '?') {
      query_ = std::string();
      state_ = State::Query;
    } else if (c == '#') {
      fragment_ = std::string();
      state_ = State::Fragment;
    }
  }

  void shorten_path() {
    // A file URL's drive letter is never popped off.
    if (scheme_ == "file" && path_.size() == 1 && path_[0].size() == 2 && is_alpha(static_cast<unsigned char>(path_[0][0])) &&
        path_[0][1] == ':') {
      return;
    }
    if (!path_.empty()) path_.pop_back();
  }

  Result<Url, UrlError> build() {
    Url u;
    u.scheme = std::move(scheme_);
    u.username = std::move(username_);
    u.password = std::move(password_);
    u.host = std::move(host_);
    u.port = port_;
    if (opaque_path_) {
      u.path = std::move(*opaque_path_);
    } else {
      for (const auto& seg : path_) u.path.append("/").append(seg);
    }
    u.query = std::move(query_);
    u.fragment = std::move(fragment_);

    std::string& h = u.href;
    h = u.scheme + ":";
    if (u.host) {
      h += "//";
      if (!u.username.empty() || !u.password.empty()) {
        h += u.username;
        if (!u.password.empty()) h.append(":").append(u.password);
        h += '@';
      }
      h += u.host->text;
      if (u.port) h.append(":").append(std::to_string(*u.port));
    } else if (!opaque_path_ && path_.size() > 1 && path_[0].empty()) {
      // Keeps "/.//x" from reading back as a URL with host "x".
      h += "/.";
    }
    h += u.path;
    if (u.query) h.append("?").append(*u.query);
    if (u.fragment) h.append("#").append(*u.fragment);
    if (h.size() > UINT32_MAX) return fail(UrlError::Overflow);
    return u;
  }

  std::string_view in_;
  std::ptrdiff_t n_;
  std::ptrdiff_t p_ = 0;
  State state_ = State::SchemeStart;
  std::string buffer_;
  bool special_ = false;
  bool at_sign_seen_ = false;
  bool inside_brackets_ = false;
  bool password_token_seen_ = false;

  std::string scheme_, username_, password_;
  std::optional<Host> host_;
  std::optional<std::uint16_t> port_;
  std::vector<std::string> path_;
  std::optional<std::string> opaque_path_;
  std::optional<std::string> query_, fragment_;
};

struct SchemeInfo {
  std::string_view scheme;
  std::optional<std::uint16_t> port;
};

constexpr SchemeInfo kSpecialSchemes[] = {
    {"ftp", 21}, {"file", std::nullopt}, {"http", 80}, {"https", 443}, {"ws", 80}, {"wss", 443},
};

constexpr std::string_view kErrorTexts[] = {
    "empty host",
    "invalid international domain name",
    "invalid port number",
    "invalid IPv4 address",
    "invalid IPv6 address",
    "invalid domain character",
    "relative URL without a base",
    "URLs more than 4 GB are not supported",
};

}  // namespace

std::string_view url_error_text(UrlError e) { return kErrorTexts[static_cast<std::size_t>(e)]; }

bool is_special_scheme(std::string_view scheme) {
  for (const auto& s : kSpecialSchemes) {
    if (s.scheme == scheme) return true;
  }
  return false;
}

std::optional<std::uint16_t> default_port(std::string_view scheme) {
  for (const auto& s : kSpecialSchemes) {
    if (s.scheme == scheme) return s.port;
  }
  return std::nullopt;
}

std::optional<std::uint16_t> Url::port_or_default() const { return port ? port : default_port(scheme); }

Result<Host, UrlError> parse_host(std::string_view input, bool opaque) {
  if (!input.empty() && input.front() == '[') {
    if (input.size() < 2 || input.back() != ']') return fail(UrlError::InvalidIpv6Address);
    auto a = parse_ipv6_url(input.substr(1, input.size() - 2));
    if (!a) return fail(UrlError::InvalidIpv6Address);
    return Host{HostKind::Ipv6, "[" + format_ipv6_host(*a) + "]", {}, *a};
  }
  if (opaque) {
    std::string text;
    for (char ch : input) {
      auto b = static_cast<unsigned char>(ch);
      if (forbidden_host(b)) return fail(UrlError::InvalidDomainCharacter);
      append_encoded(text, b, kC0Control);
    }
    if (text.empty()) return empty_host();
    return Host{HostKind::Opaque, std::move(text), {}, {}};
  }
  auto ascii = host_name_to_ascii(percent_decode(input));
  if (!ascii) return fail(ascii.error());
  for (char ch : *ascii) {
    if (forbidden_domain(static_cast<unsigned char>(ch))) return fail(UrlError::InvalidDomainCharacter);
  }
  if (ends_in_number(*ascii)) {
    auto v4 = parse_ipv4_lenient(*ascii);
    if (!v4) return fail(v4.error());
    return Host{HostKind::Ipv4, format_ipv4(*v4), *v4, {}};
  }
  return Host{HostKind::Domain, std::move(ascii).value(), {}, {}};
}

Result<Url, UrlError> parse_url(std::string_view input) {
  // Leading and trailing C0 controls and spaces go; tabs and newlines go
  // from anywhere.
  std::size_t b = 0, e = input.size();
  while (b < e && static_cast<unsigned char>(input[b]) <= 0x20) ++b;
  while (e > b && static_cast<unsigned char>(input[e - 1]) <= 0x20) --e;
  std::string cleaned;
  cleaned.reserve(e - b);
  for (std::size_t i = b; i < e; ++i) {
    char ch = input[i];
    if (ch != '\t' && ch != '\n' && ch != '\r') cleaned += ch;
  }
  return Parser(cleaned).run();
}

}  // namespace zelq::ssrf
