// One signature check for a public key of either algorithm: the key's
// algorithm picks the verifier, so no caller chooses between them itself.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <variant>

#include "core/error.hpp"
#include "crypto/algorithm.hpp"
#include "crypto/ed25519.hpp"
#include "crypto/p256.hpp"

namespace zelq::crypto {

// A verification key taken from a DID document: Ed25519's 32 bytes, or a
// P-256 point in uncompressed SEC1 form.
using PublicKey = std::variant<Ed25519PublicKey, P256Uncompressed>;

KeyAlgorithm key_algorithm(const PublicKey& key);

// `key` is the key of `algorithm`: 32 bytes for Ed25519, any SEC1 form for
// P-256. Failures are those of verify_ed25519 and verify_p256; an Ed25519
// key of another length is refused as one that is not a point is.
ZResult<void> verify_signature(KeyAlgorithm algorithm, std::span<const std::uint8_t> key, std::string_view sig_b64,
                               std::string_view message);
ZResult<void> verify_signature(const PublicKey& key, std::string_view sig_b64, std::string_view message);

}  // namespace zelq::crypto
