// Text codecs of the wire formats: standard base64 (padded, strict),
// base64url without padding, base58btc (Bitcoin alphabet) and hexadecimal.
// Decoders fail with the decoder's own error text, which callers embed in
// their messages, so the texts and the order in which faults are found are
// part of the contract.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/error.hpp"
#include "core/result.hpp"
#include "core/secret.hpp"

namespace zelq {

using Bytes = std::vector<std::uint8_t>;

// A decoder's failure: the decoder's own message.
using DecodeResult = Result<Bytes, std::string>;

inline std::span<const std::uint8_t> as_bytes(std::string_view s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

// ---- base64, standard alphabet with "=" padding --------------------------
// Decoding is strict: padding exactly as an encoder writes it, unused bits
// of the last symbol zero, nothing skipped.
std::string base64_encode(std::span<const std::uint8_t> bytes);
DecodeResult base64_decode(std::string_view text);
// The same for a method's argument `role`: "invalid {role}: {decoder message}".
Result<Bytes, ArgumentError> base64_argument(std::string_view text, std::string_view role);

// ---- base64url, URL-safe alphabet, no padding -----------------------------
// Decoding refuses any "=" and nonzero unused bits.
std::string base64url_encode(std::span<const std::uint8_t> bytes);
DecodeResult base64url_decode(std::string_view text);

// ---- percent-encoding --------------------------------------------------------
// "%XX" (either case) becomes the byte; a "%" without two hex digits after it
// stays as it is. Never fails.
std::string percent_decode(std::string_view s);

// ---- base58btc -------------------------------------------------------------
// The decoder works in a fixed output buffer: input whose value needs more
// than `max_decoded` bytes fails with the decoder's buffer-too-small text
// instead of costing time quadratic in its length.
inline constexpr std::size_t kBase58MaxDecoded = 2048;
std::string base58_encode(std::span<const std::uint8_t> bytes);
DecodeResult base58_decode(std::string_view text, std::size_t max_decoded = kBase58MaxDecoded);

// ---- hexadecimal -----------------------------------------------------------
// Encoding is lowercase; decoding takes either case.
std::string hex_encode(std::span<const std::uint8_t> bytes);
DecodeResult hex_decode(std::string_view text);
Result<SecretBytes, std::string> hex_decode_secret(std::string_view text);

// A byte shown as a quoted character literal the way the decoders' messages
// show it: 'a', '\n', '\'', '\u{7f}', 'é' (a byte of 0x80 or more stands for
// the code point of the same number).
std::string quoted_char_literal(std::uint8_t byte);

}  // namespace zelq
