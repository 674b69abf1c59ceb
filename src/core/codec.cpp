#include "core/codec.hpp"

#include <algorithm>
#include <array>

#include "core/ascii.hpp"

namespace zelq {

namespace {

constexpr std::uint8_t kInvalid = 0xff;
constexpr std::uint8_t kPad = '=';

constexpr std::string_view kStdAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::string_view kUrlAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
constexpr std::string_view kBase58Alphabet = "123456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz";
constexpr std::string_view kHexDigits = ascii::kLowerHexDigits;

constexpr std::array<std::uint8_t, 256> decode_table(std::string_view alphabet) {
  std::array<std::uint8_t, 256> t{};
  for (auto& v : t) v = kInvalid;
  for (std::size_t i = 0; i < alphabet.size(); ++i) t[static_cast<std::uint8_t>(alphabet[i])] = static_cast<std::uint8_t>(i);
  return t;
}

constexpr auto kStdTable = decode_table(kStdAlphabet);
constexpr auto kUrlTable = decode_table(kUrlAlphabet);
constexpr auto kBase58Table = decode_table(kBase58Alphabet);

// ---- base64 ----------------------------------------------------------------

std::string b64_encode(std::span<const std::uint8_t> in, std::string_view alphabet, bool pad) {
  std::string out;
  out.reserve((in.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= in.size(); i += 3) {
    std::uint32_t n = (std::uint32_t{in[i]} << 16) | (std::uint32_t{in[i + 1]} << 8) | in[i + 2];
    out += alphabet[(n >> 18) & 63];
    out += alphabet[(n >> 12) & 63];
    out += alphabet[(n >> 6) & 63];
    out += alphabet[n & 63];
  }
  const std::size_t rest = in.size() - i;
  if (rest == 1) {
    std::uint32_t n = std::uint32_t{in[i]} << 16;
    out += alphabet[(n >> 18) & 63];
    out += alphabet[(n >> 12) & 63];
    if (pad) out += "==";
  } else if (rest == 2) {
    std::uint32_t n = (std::uint32_t{in[i]} << 16) | (std::uint32_t{in[i + 1]} << 8);
    out += alphabet[(n >> 18) & 63];
    out += alphabet[(n >> 12) & 63];
    out += alphabet[(n >> 6) & 63];
    if (pad) out += '=';
  }
  return out;
}

std::string invalid_symbol(std::size_t offset, std::uint8_t byte) {
  return "Invalid symbol " + std::to_string(byte) + ", offset " + std::to_string(offset) + ".";
}

// Upper bound of the decoded size, whatever the input holds.
constexpr std::size_t b64_max_decoded(std::size_t n) { return (n + 3) / 4 * 3; }

// Decodes into `out` (at least b64_max_decoded bytes) and returns the length
// written. Faults are reported in a fixed order: a stray last byte of a
// one-symbol remainder first, then the first bad byte of the complete quads
// before the last one, then the last quad (symbols, padding position,
// length, padding amount, unused bits).
Result<std::size_t, std::string> b64_decode_into(std::string_view text, const std::array<std::uint8_t, 256>& table,
                                                 bool canonical_padding, std::uint8_t* out) {
  const auto* in = reinterpret_cast<const std::uint8_t*>(text.data());
  const std::size_t n = text.size();
  const std::size_t rem = n % 4;

  if (rem == 1) {
    const std::uint8_t last = in[n - 1];
    if (last != kPad && table[last] == kInvalid) return fail(invalid_symbol(n - 1, last));
  }

  // Every complete quad except the last one, which may carry padding.
  std::size_t body = n - rem;
  body = rem == 0 ? (body >= 4 ? body - 4 : 0) : body;

  std::size_t o = 0;
  for (std::size_t i = 0; i < body; i += 4) {
    std::uint32_t acc = 0;
    for (std::size_t j = 0; j < 4; ++j) {
      const std::uint8_t m = table[in[i + j]];
      if (m == kInvalid) return fail(invalid_symbol(i + j, in[i + j]));
      acc = (acc << 6) | m;
    }
    out[o++] = static_cast<std::uint8_t>(acc >> 16);
    out[o++] = static_cast<std::uint8_t>(acc >> 8);
    out[o++] = static_cast<std::uint8_t>(acc);
  }

  std::uint8_t morsels[4] = {0, 0, 0, 0};
  std::size_t count = 0;
  std::size_t pads = 0;
  std::size_t first_pad = 0;
  std::uint8_t last_symbol = 0;
  for (std::size_t j = 0; body + j < n; ++j) {
    const std::uint8_t b = in[body + j];
    if (b == kPad) {
      // Padding can only follow two or three symbols of the last quad.
      if (j < 2) return fail(invalid_symbol(body + j, b));
      if (pads == 0) first_pad = j;
      ++pads;
      continue;
    }
    if (pads > 0) return fail(invalid_symbol(body + first_pad, kPad));
    last_symbol = b;
    const std::uint8_t m = table[b];
    if (m == kInvalid) return fail(invalid_symbol(body + j, b));
    morsels[count++] = m;
  }

  if (n != 0 && count < 2) return fail("Invalid input length: " + std::to_string(body + count));
  if (canonical_padding) {
    if ((pads + count) % 4 != 0) return fail(std::string("Invalid padding"));
  } else if (pads > 0) {
    return fail(std::string("Invalid padding"));
  }

  const std::size_t tail = count * 6 / 8;
  const std::uint32_t acc = (std::uint32_t{morsels[0]} << 26) | (std::uint32_t{morsels[1]} << 20) |
                            (std::uint32_t{morsels[2]} << 14) | (std::uint32_t{morsels[3]} << 8);
  // Bits of the last symbols that no output byte takes must be zero.
  const std::uint32_t unused = ~std::uint32_t{0} >> (tail * 8);
  if ((acc & unused) != 0) {
    return fail("Invalid last symbol " + std::to_string(last_symbol) + ", offset " +
                std::to_string(body + count - 1) + ".");
  }
  for (std::size_t k = 0; k < tail; ++k) out[o++] = static_cast<std::uint8_t>(acc >> (24 - 8 * k));
  return o;
}

DecodeResult b64_decode(std::string_view text, const std::array<std::uint8_t, 256>& table, bool canonical) {
  Bytes out(b64_max_decoded(text.size()));
  auto r = b64_decode_into(text, table, canonical, out.data());
  if (!r) return fail(std::move(r).error());
  out.resize(*r);
  return out;
}

// ---- hexadecimal -------------------------------------------------------------

Result<std::size_t, std::string> hex_decode_into(std::string_view text, std::uint8_t* out) {
  if (text.size() % 2 != 0) return fail(std::string("Odd number of digits"));
  for (std::size_t i = 0; i < text.size(); i += 2) {
    const auto hi_c = static_cast<std::uint8_t>(text[i]);
    const auto lo_c = static_cast<std::uint8_t>(text[i + 1]);
    const int hi = ascii::hex_value(hi_c);
    if (hi < 0) return fail("Invalid character " + quoted_char_literal(hi_c) + " at position " + std::to_string(i));
    const int lo = ascii::hex_value(lo_c);
    if (lo < 0) return fail("Invalid character " + quoted_char_literal(lo_c) + " at position " + std::to_string(i + 1));
    out[i / 2] = static_cast<std::uint8_t>((hi << 4) | lo);
  }
  return text.size() / 2;
}

}  // namespace

std::string base64_encode(std::span<const std::uint8_t> bytes) { return b64_encode(bytes, kStdAlphabet, true); }

DecodeResult base64_decode(std::string_view text) { return b64_decode(text, kStdTable, true); }

Result<Bytes, ArgumentError> base64_argument(std::string_view text, std::string_view role) {
  auto raw = base64_decode(text);
  if (!raw) {
    std::string msg = "invalid ";
    msg.append(role).append(": ").append(raw.error());
    return fail(ArgumentError{std::move(msg)});
  }
  return std::move(*raw);
}

std::string base64url_encode(std::span<const std::uint8_t> bytes) { return b64_encode(bytes, kUrlAlphabet, false); }

DecodeResult base64url_decode(std::string_view text) { return b64_decode(text, kUrlTable, false); }

std::string base58_encode(std::span<const std::uint8_t> bytes) {
  std::size_t zeros = 0;
  while (zeros < bytes.size() && bytes[zeros] == 0) ++zeros;
  // Base-58 digits, least significant first.
  std::vector<std::uint8_t> digits;
  digits.reserve(bytes.size() * 138 / 100 + 1);
  for (std::size_t i = zeros; i < bytes.size(); ++i) {
    std::uint32_t carry = bytes[i];
    for (auto& d : digits) {
      carry += std::uint32_t{d} << 8;
      d = static_cast<std::uint8_t>(carry % 58);
      carry /= 58;
    }
    while (carry > 0) {
      digits.push_back(static_cast<std::uint8_t>(carry % 58));
      carry /= 58;
    }
  }
  std::string out(zeros, kBase58Alphabet[0]);
  out.reserve(zeros + digits.size());
  for (auto it = digits.rbegin(); it != digits.rend(); ++it) out += kBase58Alphabet[*it];
  return out;
}

DecodeResult base58_decode(std::string_view text, std::size_t max_decoded) {
  static constexpr std::string_view kTooSmall = "buffer provided to decode base58 encoded string into was too small";
  // Every character is checked first, in linear time, so that an invalid one
  // is reported wherever it stands, even past the size cap below.
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<std::uint8_t>(text[i]);
    if (c > 127) return fail("provided string contained non-ascii character starting at byte " + std::to_string(i));
    if (kBase58Table[c] == kInvalid) {
      return fail("provided string contained invalid character " + quoted_char_literal(c) + " at byte " +
                  std::to_string(i));
    }
  }
  // Little-endian bytes of the value read so far; never more than
  // max_decoded, which keeps the quadratic conversion bounded.
  Bytes out;
  out.reserve(std::min(max_decoded, text.size()));
  for (char ch : text) {
    std::uint32_t carry = kBase58Table[static_cast<std::uint8_t>(ch)];
    for (auto& b : out) {
      carry += std::uint32_t{b} * 58;
      b = static_cast<std::uint8_t>(carry);
      carry >>= 8;
    }
    while (carry > 0) {
      if (out.size() >= max_decoded) return fail(std::string(kTooSmall));
      out.push_back(static_cast<std::uint8_t>(carry));
      carry >>= 8;
    }
  }
  // Each leading "1" stands for a leading zero byte.
  for (std::size_t i = 0; i < text.size() && text[i] == kBase58Alphabet[0]; ++i) {
    if (out.size() >= max_decoded) return fail(std::string(kTooSmall));
    out.push_back(0);
  }
  std::reverse(out.begin(), out.end());
  return out;
}

std::string percent_decode(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size()) {
      const int hi = ascii::hex_value(static_cast<unsigned char>(s[i + 1]));
      const int lo = ascii::hex_value(static_cast<unsigned char>(s[i + 2]));
      if (hi >= 0 && lo >= 0) {
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
        continue;
      }
    }
    out += s[i];
  }
  return out;
}

std::string hex_encode(std::span<const std::uint8_t> bytes) {
  std::string out;
  out.reserve(bytes.size() * 2);
  for (std::uint8_t b : bytes) {
    out += kHexDigits[b >> 4];
    out += kHexDigits[b & 0xf];
  }
  return out;
}

DecodeResult hex_decode(std::string_view text) {
  Bytes out(text.size() / 2);
  auto r = hex_decode_into(text, out.data());
  if (!r) return fail(std::move(r).error());
  return out;
}

Result<SecretBytes, std::string> hex_decode_secret(std::string_view text) {
  SecretBytes out(text.size() / 2);
  auto r = hex_decode_into(text, out.data());
  if (!r) return fail(std::move(r).error());
  return out;
}

std::string quoted_char_literal(std::uint8_t c) {
  std::string out = "'";
  switch (c) {
    case '\0': out += "\\0"; break;
    case '\t': out += "\\t"; break;
    case '\n': out += "\\n"; break;
    case '\r': out += "\\r"; break;
    case '\\': out += "\\\\"; break;
    case '\'': out += "\\'"; break;
    default:
      // Control characters, no-break space and soft hyphen are not printable.
      if (c < 0x20 || (c >= 0x7f && c <= 0xa0) || c == 0xad) {
        out += "\\u{";
        if (c >= 16) out += kHexDigits[c >> 4];
        out += kHexDigits[c & 0xf];
        out += '}';
      } else if (c < 0x80) {
        out += static_cast<char>(c);
      } else {
        out += static_cast<char>(0xc0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3f));
      }
  }
  out += '\'';
  return out;
}

}  // namespace zelq
