#include "ssrf/ip.hpp"

#include <cstddef>

#include "core/ascii.hpp"

namespace zelq::ssrf {

namespace {

using ascii::hex_value;
using ascii::is_digit;

// A cursor over the text. Every reader either consumes what it read and
// succeeds, or leaves the position where it was and fails.
class Reader {
 public:
  explicit Reader(std::string_view s) : s_(s) {}
  bool at_end() const { return pos_ == s_.size(); }
  std::size_t pos() const { return pos_; }
  void reset(std::size_t p) { pos_ = p; }
  bool peek(char c, std::size_t ahead = 0) const {
    return pos_ + ahead < s_.size() && s_[pos_ + ahead] == c;
  }
  bool take(char c) {
    if (!peek(c)) return false;
    ++pos_;
    return true;
  }

  // One to three decimal digits, no leading zero unless the part is "0",
  // value at most 255.
  std::optional<std::uint8_t> octet() {
    std::size_t start = pos_;
    unsigned v = 0;
    std::size_t n = 0;
    while (pos_ < s_.size() && is_digit(s_[pos_])) {
      if (++n > 3) return rewind<std::uint8_t>(start);
      v = v * 10 + static_cast<unsigned>(s_[pos_] - '0');
      ++pos_;
    }
    if (n == 0 || v > 255 || (n > 1 && s_[start] == '0')) return rewind<std::uint8_t>(start);
    return static_cast<std::uint8_t>(v);
  }

  std::optional<Ipv4Addr> ipv4() {
    std::size_t start = pos_;
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) {
      if (i > 0 && !take('.')) return rewind<Ipv4Addr>(start);
      auto o = octet();
      if (!o) return rewind<Ipv4Addr>(start);
      v = (v << 8) | *o;
    }
    return Ipv4Addr{v};
  }

  // One to four hexadecimal digits.
  std::optional<std::uint16_t> group() {
    std::size_t start = pos_;
    unsigned v = 0;
    std::size_t n = 0;
    while (pos_ < s_.size() && hex_value(s_[pos_]) >= 0) {
      if (++n > 4) return rewind<std::uint16_t>(start);
      v = v * 16 + static_cast<unsigned>(hex_value(s_[pos_]));
      ++pos_;
    }
    if (n == 0) return std::nullopt;
    return static_cast<std::uint16_t>(v);
  }

 private:
  template <class T>
  std::optional<T> rewind(std::size_t p) {
    pos_ = p;
    return std::nullopt;
  }
  std::string_view s_;
  std::size_t pos_ = 0;
};

struct Groups {
  std::size_t count = 0;
  bool ended_in_ipv4 = false;
};

// Reads up to `limit` colon-separated groups into out[0..limit). A dotted
// IPv4 tail is tried first wherever two groups still fit, and ends the run.
Groups read_groups(Reader& r, std::uint16_t* out, std::size_t limit) {
  for (std::size_t i = 0; i < limit; ++i) {
    std::size_t start = r.pos();
    bool sep_ok = i == 0 || r.take(':');
    if (sep_ok && i + 1 < limit) {
      if (auto v4 = r.ipv4()) {
        out[i] = static_cast<std::uint16_t>(v4->value >> 16);
        out[i + 1] = static_cast<std::uint16_t>(v4->value & 0xFFFF);
        return {i + 2, true};
      }
    }
    auto g = sep_ok ? r.group() : std::nullopt;
    if (!g) {
      r.reset(start);
      return {i, false};
    }
    out[i] = *g;
  }
  return {limit, false};
}

// Writes the groups in hex with the first longest run (two or more) of zero
// groups as "::".
std::string compress_hex(const Ipv6Addr& a) {
  constexpr std::size_t last = 8;
  std::size_t best_at = last, best_len = 0;
  for (std::size_t i = 0; i < last;) {
    if (a.pieces[i] != 0) {
      ++i;
      continue;
    }
    std::size_t j = i;
    while (j < last && a.pieces[j] == 0) ++j;
    if (j - i > best_len) {
      best_at = i;
      best_len = j - i;
    }
    i = j;
  }
  if (best_len < 2) best_at = last;

  constexpr const char* kHex = ascii::kLowerHexDigits;
  std::string out;
  for (std::size_t i = 0; i < last;) {
    if (i == best_at) {
      out += i == 0 ? "::" : ":";
      i += best_len;
      continue;
    }
    std::uint16_t p = a.pieces[i];
    bool started = false;
    for (int shift = 12; shift >= 0; shift -= 4) {
      unsigned nib = (p >> shift) & 0xF;
      if (nib != 0 || started || shift == 0) {
        out += kHex[nib];
        started = true;
      }
    }
    ++i;
    if (i < last) out += ':';
  }
  return out;
}

}  // namespace

std::optional<Ipv4Addr> parse_ipv4_strict(std::string_view s) {
  Reader r(s);
  auto a = r.ipv4();
  if (!a || !r.at_end()) return std::nullopt;
  return a;
}

std::optional<Ipv6Addr> parse_ipv6_strict(std::string_view s) {
  Reader r(s);
  Ipv6Addr a;
  auto head = read_groups(r, a.pieces.data(), 8);
  if (head.count < 8) {
    // A dotted tail may only end the address.
    if (head.ended_in_ipv4) return std::nullopt;
    if (!r.take(':') || !r.take(':')) return std::nullopt;
    // "::" stands for at least one zero group.
    std::array<std::uint16_t, 7> tail{};
    auto t = read_groups(r, tail.data(), 7 - head.count);
    for (std::size_t i = 0; i < t.count; ++i) a.pieces[8 - t.count + i] = tail[i];
  }
  if (!r.at_end()) return std::nullopt;
  return a;
}

std::optional<IpAddr> parse_ip_strict(std::string_view s) {
  if (auto v4 = parse_ipv4_strict(s)) return IpAddr{*v4};
  if (auto v6 = parse_ipv6_strict(s)) return IpAddr{*v6};
  return std::nullopt;
}

std::string format_ipv4(Ipv4Addr a) {
  std::string out;
  for (int i = 0; i < 4; ++i) {
    if (i) out += '.';
    out += std::to_string(a.octet(i));
  }
  return out;
}

std::string format_ipv6(const Ipv6Addr& a) {
  bool mapped = a.pieces[0] == 0 && a.pieces[1] == 0 && a.pieces[2] == 0 && a.pieces[3] == 0 &&
                a.pieces[4] == 0 && a.pieces[5] == 0xFFFF;
  if (mapped) return "::ffff:" + format_ipv4(a.low_ipv4());
  return compress_hex(a);
}

std::string format_ipv6_host(const Ipv6Addr& a) { return compress_hex(a); }

std::string format_ip(const IpAddr& a) {
  if (const auto* v4 = std::get_if<Ipv4Addr>(&a)) return format_ipv4(*v4);
  return format_ipv6(std::get<Ipv6Addr>(a));
}

}  // namespace zelq::ssrf
