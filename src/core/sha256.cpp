#include "core/sha256.hpp"

#include <openssl/evp.h>

#include "core/codec.hpp"

#include <memory>
#include <stdexcept>

namespace zelq {

namespace {

// Looked up once: OpenSSL 3 otherwise looks the algorithm up on every
// digest, which costs as much as hashing a few hundred bytes.
const EVP_MD* sha256_md() {
  static const std::unique_ptr<EVP_MD, void (*)(EVP_MD*)> md(EVP_MD_fetch(nullptr, "SHA2-256", nullptr), EVP_MD_free);
  if (!md) throw std::runtime_error("SHA-256 unavailable");
  return md.get();
}

}  // namespace

Digest32 sha256(std::string_view data) {
  Digest32 out{};
  unsigned int len = 0;
  // One-shot digest; it only fails on allocation failure inside OpenSSL.
  if (EVP_Digest(data.data(), data.size(), out.data(), &len, sha256_md(), nullptr) != 1 || len != 32)
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
