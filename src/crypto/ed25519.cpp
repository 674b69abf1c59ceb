#include "crypto/ed25519.hpp"

#include <algorithm>

#include <openssl/err.h>

#include "core/codec.hpp"
#include "crypto/ossl.hpp"

namespace zelq::crypto {

namespace {

constexpr const char* kSignFailed = "signature operation failed";

// d = -121665/121666 mod p.
constexpr const char* kEdwardsD = "52036cee2b6ffe738cc740797779e89800700a4d4141d8ab75eb4dca135978a3";

// The OpenSSL verdict on the equation, with S < L checked first. A key that
// is no point fails here as well, so the caller tells the two apart.
bool openssl_verify(std::span<const std::uint8_t, 32> key, const std::uint8_t* sig, std::string_view message) {
  PkeyPtr pkey(EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, key.data(), key.size()));
  ossl_check(pkey != nullptr, "Ed25519 key import failed");
  MdCtxPtr ctx(EVP_MD_CTX_new());
  ossl_check(ctx != nullptr, "out of memory");
  ossl_check(EVP_DigestVerifyInit(ctx.get(), nullptr, nullptr, nullptr, pkey.get()) == 1, "Ed25519 verify init failed");
  const int rc = EVP_DigestVerify(ctx.get(), sig, 64, reinterpret_cast<const unsigned char*>(message.data()),
                                  message.size());
  if (rc != 1) ERR_clear_error();
  return rc == 1;
}

ZResult<void> key_error() { return fail(ZelqError::invalid_signature("signature error")); }

}  // namespace

bool ed25519_key_is_point(std::span<const std::uint8_t, 32> key) {
  // x^2 = (y^2 - 1) / (d y^2 + 1) has a root exactly when (y^2 - 1)(d y^2 + 1)
  // is zero or a square mod p; the denominator never vanishes.
  std::array<std::uint8_t, 32> y_le;
  std::copy(key.begin(), key.end(), y_le.begin());
  y_le[31] &= 0x7f;
  auto ctx = new_bn_ctx();
  auto p = new_bn(), d = new_bn(), y = new_bn(), y2 = new_bn(), u = new_bn(), v = new_bn(), t = new_bn();
  BIGNUM* dp = d.get();
  bool ok = BN_set_bit(p.get(), 255) == 1 && BN_sub_word(p.get(), 19) == 1 && BN_hex2bn(&dp, kEdwardsD) != 0 &&
            BN_lebin2bn(y_le.data(), static_cast<int>(y_le.size()), y.get()) != nullptr &&
            BN_mod_sqr(y2.get(), y.get(), p.get(), ctx.get()) == 1 &&
            BN_mod_sub(u.get(), y2.get(), BN_value_one(), p.get(), ctx.get()) == 1 &&
            BN_mod_mul(v.get(), d.get(), y2.get(), p.get(), ctx.get()) == 1 &&
            BN_mod_add(v.get(), v.get(), BN_value_one(), p.get(), ctx.get()) == 1 &&
            BN_mod_mul(t.get(), u.get(), v.get(), p.get(), ctx.get()) == 1;
  ossl_check(ok, "Ed25519 point check failed");
  const int symbol = BN_kronecker(t.get(), p.get(), ctx.get());
  ossl_check(symbol != -2, "Ed25519 point check failed");
  return symbol != -1;
}

ZResult<void> verify_ed25519(std::span<const std::uint8_t, 32> key, std::string_view sig_b64, std::string_view message) {
  // The key is judged before the signature text. A signature that verifies
  // proves its key decodes, so the costly point test only runs on a refusal.
  auto sig = base64_decode(sig_b64);
  if (!sig) {
    if (!ed25519_key_is_point(key)) return key_error();
    return fail(ZelqError::invalid_signature("base64: " + sig.error()));
  }
  if (sig->size() != 64) {
    if (!ed25519_key_is_point(key)) return key_error();
    return fail(ZelqError::invalid_signature("sig parse: signature error"));
  }
  if (openssl_verify(key, sig->data(), message)) return {};
  if (!ed25519_key_is_point(key)) return key_error();
  return fail(ZelqError::invalid_signature("signature verification failed"));
}

void Ed25519SigningKey::PkeyFree::operator()(evp_pkey_st* p) const { EVP_PKEY_free(p); }

Ed25519SigningKey Ed25519SigningKey::from_seed(Secret32 seed) {
  Pkey pkey(EVP_PKEY_new_raw_private_key(EVP_PKEY_ED25519, nullptr, seed.data(), seed.size()));
  ossl_check(pkey != nullptr, kSignFailed);
  Ed25519PublicKey pub{};
  std::size_t len = pub.size();
  ossl_check(EVP_PKEY_get_raw_public_key(pkey.get(), pub.data(), &len) == 1 && len == pub.size(), kSignFailed);
  return Ed25519SigningKey(std::move(pkey), pub);
}

Ed25519Signature Ed25519SigningKey::sign(std::string_view message) const {
  MdCtxPtr ctx(EVP_MD_CTX_new());
  ossl_check(ctx != nullptr, kSignFailed);
  ossl_check(EVP_DigestSignInit(ctx.get(), nullptr, nullptr, nullptr, key_.get()) == 1, kSignFailed);
  Ed25519Signature sig{};
  std::size_t len = sig.size();
  ossl_check(EVP_DigestSign(ctx.get(), sig.data(), &len, reinterpret_cast<const unsigned char*>(message.data()),
                            message.size()) == 1 &&
                 len == sig.size(),
             kSignFailed);
  return sig;
}

Result<Ed25519PublicKey, ArgumentError> decode_public_key_b64(std::string_view text, std::string_view role) {
  auto raw = base64_argument(text, role);
  if (!raw) return fail(std::move(raw).error());
  if (raw->size() != 32) return fail(ArgumentError{"public key must decode to 32 bytes"});
  Ed25519PublicKey key{};
  std::copy(raw->begin(), raw->end(), key.begin());
  return key;
}

}  // namespace zelq::crypto
