#include "core/sha256.hpp"

#include <openssl/evp.h>

#include <stdexcept>

namespace zelq {

namespace {

Sha256Digest digest_of(const void* data, std::size_t size) {
  Sha256Digest out{};
  unsigned int len = 0;
  if (EVP_Digest(data, size, out.data(), &len, EVP_sha256(), nullptr) != 1 || len != out.size()) {
    throw std::runtime_error("SHA-256 computation failed");
  }
  return out;
}

}  // namespace

Sha256Digest sha256(std::span<const std::uint8_t> data) { return digest_of(data.data(), data.size()); }

Sha256Digest sha256(std::string_view data) { return digest_of(data.data(), data.size()); }

std::string sha256_text(const Sha256Digest& digest) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out = "sha256:";
  out.reserve(7 + 64);
  for (std::uint8_t b : digest) {
    out += kHex[b >> 4];
    out += kHex[b & 0xf];
  }
  return out;
}

std::string sha256_text_of(std::string_view data) { return sha256_text(sha256(data)); }

std::string sha256_text_of(std::span<const std::uint8_t> data) { return sha256_text(sha256(data)); }

}  // namespace zelq
