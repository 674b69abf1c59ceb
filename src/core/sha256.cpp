#include "core/sha256.hpp"

#include <openssl/evp.h>

#include "core/codec.hpp"

#include <stdexcept>

namespace zelq {

Digest32 sha256(std::string_view data) {
  Digest32 out{};
  unsigned int len = 0;
  // One-shot digest; it only fails on allocation failure inside OpenSSL.
  if (EVP_Digest(data.data(), data.size(), out.data(), &len, EVP_sha256(), nullptr) != 1 || len != 32)
    throw std::runtime_error("SHA-256 computation failed");
  return out;
}

Digest32 sha256(std::span<const std::uint8_t> data) {
  return sha256(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
}

std::string sha256_prefixed(std::string_view data) {
  Digest32 d = sha256(data);
  return "sha256:" + hex_encode(d);
}

std::string sha256_prefixed(std::span<const std::uint8_t> data) {
  Digest32 d = sha256(data);
  return "sha256:" + hex_encode(d);
}

}  // namespace zelq
