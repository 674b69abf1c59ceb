#include "core/sha256.hpp"

#include <openssl/evp.h>

#include <stdexcept>

namespace zelq {

namespace {

Sha256Digest digest_of(const void* data, std::size_t size) {
  Sha256Digest out{};
  unsigned int len = 0;
  // One-shot digest; it only fails on allocation failure inside OpenSSL.
  if (EVP_Digest(data, size, out.data(), &len, EVP_sha256(), nullptr) != 1 || len != out.size()) {
    throw std::runtime_error("SHA-256 computation failed");
  }
  return out;
}

}  // namespace

Sha256Digest sha256(std::span<const std::uint8_t> data) { return digest_of(data.data(), data.size()); }

Sha256Digest sha256(std::string_view data) { return digest_of(data.data(), data.size()); }

std::string hex_lower(const std::uint8_t* data, std::size_t n) {
  static constexpr char hex[] = "0123456789abcdef";
  std::string s(n * 2, '\0');
  for (std::size_t i = 0; i < n; ++i) {
    s[2 * i] = hex[data[i] >> 4];
    s[2 * i + 1] = hex[data[i] & 15];
  }
  return s;
}

std::string sha256_text(const Sha256Digest& digest) { return "sha256:" + hex_lower(digest.data(), digest.size()); }

std::string sha256_text_of(std::string_view data) { return sha256_text(sha256(data)); }

std::string sha256_text_of(std::span<const std::uint8_t> data) { return sha256_text(sha256(data)); }

}  // namespace zelq
