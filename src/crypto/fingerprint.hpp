// Key fingerprints: "sha256:" + lowercase hex of SHA-256 over the key bytes
// (Ed25519: the 32 raw bytes; P-256: the 33-byte compressed point).
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "core/error.hpp"
#include "crypto/algorithm.hpp"

namespace zelq::crypto {

// The bytes are not checked to be a curve point.
std::string fingerprint_ed25519(std::span<const std::uint8_t, 32> key);

// An Ed25519 key must be 32 bytes, a P-256 key any SEC1 form of a point on
// the curve; KeyResolution otherwise.
ZResult<std::string> public_key_fingerprint(KeyAlgorithm algorithm, std::span<const std::uint8_t> key);

}  // namespace zelq::crypto
