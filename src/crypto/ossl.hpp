// Owning handles for the OpenSSL objects the crypto code uses, and the one
// way an unexpected OpenSSL failure (allocation, internal error) leaves it.
#pragma once

#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/evp.h>

#include <memory>

namespace zelq::crypto {

template <auto Free>
struct OsslFree {
  template <class T>
  void operator()(T* p) const {
    Free(p);
  }
};

using BnPtr = std::unique_ptr<BIGNUM, OsslFree<BN_free>>;
// For secret scalars and nonces: wiped before release.
using SecretBnPtr = std::unique_ptr<BIGNUM, OsslFree<BN_clear_free>>;
using BnCtxPtr = std::unique_ptr<BN_CTX, OsslFree<BN_CTX_free>>;
using EcGroupPtr = std::unique_ptr<EC_GROUP, OsslFree<EC_GROUP_free>>;
using EcPointPtr = std::unique_ptr<EC_POINT, OsslFree<EC_POINT_clear_free>>;
using PkeyPtr = std::unique_ptr<EVP_PKEY, OsslFree<EVP_PKEY_free>>;
using MdCtxPtr = std::unique_ptr<EVP_MD_CTX, OsslFree<EVP_MD_CTX_free>>;
using MacPtr = std::unique_ptr<EVP_MAC, OsslFree<EVP_MAC_free>>;
using MacCtxPtr = std::unique_ptr<EVP_MAC_CTX, OsslFree<EVP_MAC_CTX_free>>;

// Clears OpenSSL's error queue and throws std::runtime_error(what): an
// internal failure, caught at the method boundary.
[[noreturn]] void ossl_failure(const char* what);

// Throws through ossl_failure unless `ok`.
inline void ossl_check(bool ok, const char* what) {
  if (!ok) ossl_failure(what);
}

BnPtr new_bn();
SecretBnPtr new_secret_bn();
BnCtxPtr new_bn_ctx();

}  // namespace zelq::crypto
