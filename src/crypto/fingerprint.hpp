// Key fingerprints: "sha256:" + lowercase hex of SHA-256 over the key bytes
// (Ed25519: the 32 raw bytes; P-256: the 33-byte compressed point).
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "core/error.hpp"
#include "did/did_key.hpp"

namespace zelq::crypto {

// The bytes are not checked to be a curve point.
std::string fingerprint_ed25519(std::span<const std::uint8_t, 32> key);

// A P-256 key must be a point on the curve (KeyResolution otherwise).
ZResult<std::string> public_key_fingerprint(const did::DidKeyPublicKey& key);

}  // namespace zelq::crypto
