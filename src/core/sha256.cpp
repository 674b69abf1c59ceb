// The low-level SHA-256 interface is deprecated in OpenSSL 3 in favour of
// EVP, but present in every 3.x; it is the only one that hashes a short input
// without a context allocation and an algorithm fetch. (The one-shot SHA256()
// fetches the algorithm on every call in 3.0, and EVP_Digest with the
// algorithm fetched once still sets up a context per hash: on a 65-byte
// node, 3.5x and 1.5x the time of SHA256_Init/Update/Final.)
#define OPENSSL_SUPPRESS_DEPRECATED
#include "core/sha256.hpp"

#include <openssl/sha.h>

#include <bit>
#include <cstring>
#include <new>

#include "core/codec.hpp"

namespace zelq {

static_assert(sizeof(SHA256_CTX) <= 128 && alignof(SHA256_CTX) <= 8);

namespace {
SHA256_CTX* ctx(std::uint8_t* state) { return std::launder(reinterpret_cast<SHA256_CTX*>(state)); }
}  // namespace

// The SHA256_* calls cannot fail for a context on the stack.
Sha256::Sha256() { SHA256_Init(new (state_) SHA256_CTX); }

void Sha256::update(std::span<const std::uint8_t> data) { SHA256_Update(ctx(state_), data.data(), data.size()); }

void Sha256::update(std::string_view data) { SHA256_Update(ctx(state_), data.data(), data.size()); }

Digest32 Sha256::finish() {
  Digest32 out{};
  SHA256_Final(out.data(), ctx(state_));
  return out;
}

Digest32 sha256(std::string_view data) {
  Sha256 h;
  h.update(data);
  return h.finish();
}

Digest32 sha256_padded(std::span<const std::uint8_t> blocks) {
  SHA256_CTX c;
  SHA256_Init(&c);
  SHA256_Update(&c, blocks.data(), blocks.size());  // whole blocks: nothing is buffered
  Digest32 out;
  for (std::size_t i = 0; i < 8; ++i) {
    auto word = static_cast<std::uint32_t>(c.h[i]);
    if constexpr (std::endian::native == std::endian::little) word = __builtin_bswap32(word);
    std::memcpy(out.data() + 4 * i, &word, 4);  // big-endian words
  }
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
