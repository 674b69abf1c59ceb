#include "crypto/fingerprint.hpp"

#include "core/sha256.hpp"
#include "crypto/p256.hpp"

namespace zelq::crypto {

std::string fingerprint_ed25519(std::span<const std::uint8_t, 32> key) { return sha256_prefixed(key); }

ZResult<std::string> public_key_fingerprint(KeyAlgorithm algorithm, std::span<const std::uint8_t> key) {
  if (algorithm == KeyAlgorithm::Ed25519) {
    if (key.size() != 32) return fail(ZelqError::text(ErrorKind::KeyResolution, "ed25519 key must be 32 bytes"));
    return fingerprint_ed25519(key.first<32>());
  }
  auto point = P256PublicKey::from_sec1(key);
  if (!point) return fail(ZelqError::text(ErrorKind::KeyResolution, "p256 SEC1 parse: signature error"));
  const auto compressed = point->compressed();
  return sha256_prefixed(compressed);
}

}  // namespace zelq::crypto
