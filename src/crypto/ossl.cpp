#include "crypto/ossl.hpp"

#include <openssl/err.h>

#include <stdexcept>

namespace zelq::crypto {

void ossl_failure(const char* what) {
  ERR_clear_error();
  throw std::runtime_error(what);
}

BnPtr new_bn() {
  BnPtr p(BN_new());
  ossl_check(p != nullptr, "out of memory");
  return p;
}

SecretBnPtr new_secret_bn() {
  SecretBnPtr p(BN_secure_new());
  ossl_check(p != nullptr, "out of memory");
  BN_set_flags(p.get(), BN_FLG_CONSTTIME);
  return p;
}

BnCtxPtr new_bn_ctx() {
  BnCtxPtr p(BN_CTX_secure_new());
  ossl_check(p != nullptr, "out of memory");
  return p;
}

}  // namespace zelq::crypto
