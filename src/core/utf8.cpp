#include "core/utf8.hpp"

namespace zelq {

namespace {

// Bytes of the sequence starting at s[i] that form a valid prefix of a
// well-formed character, and the character's full length (0: invalid lead).
struct Seq {
  std::size_t good;
  std::size_t len;
};

Seq scan(std::string_view s, std::size_t i) {
  const auto b = static_cast<unsigned char>(s[i]);
  const std::size_t len = b < 0x80                  ? 1
                          : (b >= 0xC2 && b <= 0xDF) ? 2
                          : (b >= 0xE0 && b <= 0xEF) ? 3
                          : (b >= 0xF0 && b <= 0xF4) ? 4
                                                     : 0;
  if (len == 0) return {0, 0};
  std::size_t good = 1;
  while (good < len && i + good < s.size()) {
    const auto c = static_cast<unsigned char>(s[i + good]);
    // The second byte also rules out overlong forms, surrogates and code
    // points past U+10FFFF.
    unsigned char lo = 0x80, hi = 0xBF;
    if (good == 1) {
      if (b == 0xE0) lo = 0xA0;
      if (b == 0xED) hi = 0x9F;
      if (b == 0xF0) lo = 0x90;
      if (b == 0xF4) hi = 0x8F;
    }
    if (c < lo || c > hi) break;
    ++good;
  }
  return {good, len};
}

}  // namespace

std::size_t utf8_valid_up_to(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const Seq q = scan(s, i);
    if (q.len == 0 || q.good != q.len) return i;
    i += q.len;
  }
  return i;
}

std::optional<std::string> utf8_fault(std::string_view s) {
  const std::size_t i = utf8_valid_up_to(s);
  if (i == s.size()) return std::nullopt;
  const Seq q = scan(s, i);
  if (q.len != 0 && i + q.good == s.size()) return "incomplete utf-8 byte sequence from index " + std::to_string(i);
  const std::size_t n = q.len == 0 ? 1 : q.good;
  return "invalid utf-8 sequence of " + std::to_string(n) + " bytes from index " + std::to_string(i);
}

std::string utf8_lossy(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  std::size_t i = 0;
  while (i < s.size()) {
    const Seq q = scan(s, i);
    if (q.len != 0 && q.good == q.len) {
      out.append(s.substr(i, q.len));
      i += q.len;
    } else {
      out.append("\xEF\xBF\xBD");
      i += q.good == 0 ? 1 : q.good;
    }
  }
  return out;
}

std::size_t utf8_char_count(std::string_view s) {
  std::size_t n = 0;
  for (char c : s) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

}  // namespace zelq
