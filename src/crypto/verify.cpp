#include "crypto/verify.hpp"

namespace zelq::crypto {

KeyAlgorithm key_algorithm(const PublicKey& key) {
  return std::holds_alternative<Ed25519PublicKey>(key) ? KeyAlgorithm::Ed25519 : KeyAlgorithm::P256;
}

ZResult<void> verify_signature(KeyAlgorithm algorithm, std::span<const std::uint8_t> key, std::string_view sig_b64,
                               std::string_view message) {
  if (algorithm == KeyAlgorithm::P256) return verify_p256(key, sig_b64, message);
  if (key.size() != 32) return fail(ZelqError::invalid_signature("signature error"));
  return verify_ed25519(key.first<32>(), sig_b64, message);
}

ZResult<void> verify_signature(const PublicKey& key, std::string_view sig_b64, std::string_view message) {
  return std::visit([&](const auto& bytes) { return verify_signature(key_algorithm(key), bytes, sig_b64, message); },
                    key);
}

}  // namespace zelq::crypto
