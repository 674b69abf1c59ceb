// Verification of a detached signature by its did:key key id, and the
// decoding of a standard-base64 Ed25519 public key argument.
#pragma once

#include <string>
#include <string_view>

#include "core/error.hpp"
#include "crypto/ed25519.hpp"
#include "wire/signature.hpp"

namespace zelq::crypto {

// The key and its algorithm come out of signature.key_id; KeyResolution
// errors pass through, everything else is InvalidSignature.
ZResult<void> verify_signature_by_did_key(const wire::Signature& signature, std::string_view message);

// The 32 key bytes, or the message of the ValueError to raise. The bytes
// are not checked to be a curve point.
Result<Ed25519PublicKey, std::string> decode_public_key_b64(std::string_view text);

}  // namespace zelq::crypto
