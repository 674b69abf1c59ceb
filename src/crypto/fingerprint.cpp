#include "crypto/fingerprint.hpp"

#include "core/sha256.hpp"
#include "crypto/p256.hpp"

namespace zelq::crypto {

std::string fingerprint_ed25519(std::span<const std::uint8_t, 32> key) { return sha256_prefixed(key); }

ZResult<std::string> public_key_fingerprint(const did::DidKeyPublicKey& key) {
  if (key.kind() == did::DidKeyPublicKey::Kind::Ed25519) return fingerprint_ed25519(key.ed25519_bytes());
  auto point = P256PublicKey::from_sec1(key.bytes());
  if (!point) return fail(ZelqError::text(ErrorKind::KeyResolution, "p256 SEC1 parse: signature error"));
  const auto compressed = point->compressed();
  return sha256_prefixed(compressed);
}

}  // namespace zelq::crypto
