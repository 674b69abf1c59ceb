// The signature algorithms this system signs and verifies with, and their
// names on the wire.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace zelq::crypto {

enum class KeyAlgorithm : std::uint8_t { Ed25519, P256 };

inline constexpr std::string_view kAlgEd25519 = "ed25519";
inline constexpr std::string_view kAlgP256 = "ecdsa-p256";

constexpr std::string_view algorithm_name(KeyAlgorithm a) {
  return a == KeyAlgorithm::Ed25519 ? kAlgEd25519 : kAlgP256;
}

constexpr std::optional<KeyAlgorithm> algorithm_from_name(std::string_view name) {
  if (name == kAlgEd25519) return KeyAlgorithm::Ed25519;
  if (name == kAlgP256) return KeyAlgorithm::P256;
  return std::nullopt;
}

}  // namespace zelq::crypto
