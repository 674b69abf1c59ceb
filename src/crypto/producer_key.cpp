#include "crypto/producer_key.hpp"

#include "core/codec.hpp"

namespace zelq::crypto {

std::string_view ProducerKey::algorithm() const { return ed25519() ? kAlgEd25519 : kAlgP256; }

ProducerKey::Signed ProducerKey::sign(std::string_view message) const {
  if (const auto* k = ed25519()) return {kAlgEd25519, base64_encode(k->sign(message))};
  return {kAlgP256, base64_encode(p256()->sign(message))};
}

}  // namespace zelq::crypto
