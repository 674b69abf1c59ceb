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

// Incremental SHA-256 held on the stack, for inputs made of parts (a
// domain-separation byte and a payload). It runs OpenSSL's block function
// directly: no allocation and no provider lookup per hash, which dominate
// the cost of the many 65-byte hashes of a Merkle tree.
class Sha256 {
 public:
  Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;
  void update(std::span<const std::uint8_t> data);
  void update(std::string_view data);
  Digest32 finish();

 private:
  alignas(8) std::uint8_t state_[128];
};

Digest32 sha256(std::string_view data);
// SHA-256 of a message the caller has already padded into whole 64-byte
// blocks (its bytes, 0x80, zeros, its length in bits as 8 big-endian bytes).
// The blocks go to the block function in one call, with no buffering and no
// final step: the fixed 65-byte inputs of a Merkle tree hash at the cost of
// their two compressions.
Digest32 sha256_padded(std::span<const std::uint8_t> blocks);
Digest32 sha256(std::span<const std::uint8_t> data);
// "sha256:" followed by the hex digest of `data`.
std::string sha256_prefixed(std::string_view data);
std::string sha256_prefixed(std::span<const std::uint8_t> data);

}  // namespace zelq
