// Verification of a detached signature by its did:key key id: the key and
// its algorithm come out of the key id itself.
#pragma once

#include <string_view>

#include "core/error.hpp"
#include "wire/signature.hpp"

namespace zelq::wire {

// KeyResolution errors pass through; everything else is InvalidSignature.
ZResult<void> verify_signature_by_did_key(const Signature& signature, std::string_view message);

}  // namespace zelq::wire
