#include "crypto/producer_key.hpp"

#include <openssl/rand.h>

#include "core/codec.hpp"
#include "crypto/ossl.hpp"

namespace zelq::crypto {

std::string_view ProducerKey::algorithm() const { return ed25519() ? kAlgEd25519 : kAlgP256; }

ProducerKey::Signed ProducerKey::sign(std::string_view message) const {
  if (const auto* k = ed25519()) return {kAlgEd25519, base64_encode(k->sign(message))};
  return {kAlgP256, base64_encode(p256()->sign(message))};
}

Secret32 random_secret32() {
  Secret32 s;
  ossl_check(RAND_bytes(s.data(), static_cast<int>(s.size())) == 1, "random source failed");
  return s;
}

P256SigningKey random_p256_key() {
  for (;;) {
    Secret32 d = random_secret32();
    auto key = p256_signing_key_from_bytes(d.span());
    if (key) return std::move(*key);
  }
}

}  // namespace zelq::crypto
