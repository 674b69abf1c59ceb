#include "crypto/jwk.hpp"

#include "core/codec.hpp"

namespace zelq::crypto {

json::Value p256_public_key_jwk(const P256SigningKey& key) {
  const auto& q = key.public_uncompressed();
  const std::span<const std::uint8_t> point(q);
  json::Object jwk;
  jwk.insert("kty", json::Value("EC"));
  jwk.insert("crv", json::Value("P-256"));
  jwk.insert("x", json::Value(base64url_encode(point.subspan(1, 32))));
  jwk.insert("y", json::Value(base64url_encode(point.subspan(33, 32))));
  return json::Value(std::move(jwk));
}

}  // namespace zelq::crypto
