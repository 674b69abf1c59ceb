// The public half of a P-256 key as a JSON Web Key.
#pragma once

#include "core/json/value.hpp"
#include "crypto/p256.hpp"

namespace zelq::crypto {

// {"kty":"EC","crv":"P-256","x":…,"y":…}, members in that order, the
// coordinates base64url without padding (43 characters each).
json::Value p256_public_key_jwk(const P256SigningKey& key);

}  // namespace zelq::crypto
