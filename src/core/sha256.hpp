// SHA-256 over bytes, and the "sha256:<64 lowercase hex>" text form that
// content hashes, Merkle hashes and fingerprints share.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace zelq {

using Digest32 = std::array<std::uint8_t, 32>;

Digest32 sha256(std::string_view data);
Digest32 sha256(std::span<const std::uint8_t> data);
// "sha256:" followed by the hex digest of `data`.
std::string sha256_prefixed(std::string_view data);
std::string sha256_prefixed(std::span<const std::uint8_t> data);

}  // namespace zelq
