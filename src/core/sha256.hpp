// SHA-256 over bytes, and the "sha256:<64 lowercase hex>" text form that
// content hashes, Merkle hashes and fingerprints share.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace zelq {

using Sha256Digest = std::array<std::uint8_t, 32>;
using Digest32 = Sha256Digest;

// A failure inside OpenSSL (only an allocation failure can cause one) is an
// internal failure and unwinds as std::runtime_error to the method boundary.
Sha256Digest sha256(std::span<const std::uint8_t> data);
Sha256Digest sha256(std::string_view data);

std::string hex_lower(const std::uint8_t* data, std::size_t n);

// "sha256:" followed by the 64 lowercase hexadecimal digits of the digest.
std::string sha256_text(const Sha256Digest& digest);
std::string sha256_text_of(std::string_view data);
std::string sha256_text_of(std::span<const std::uint8_t> data);
// "sha256:" followed by the hex digest of `data`.
inline std::string sha256_prefixed(std::string_view data) { return sha256_text_of(data); }

}  // namespace zelq
