#include "core/secret.hpp"

#include <openssl/crypto.h>

namespace zelq {

void secure_wipe(void* p, std::size_t n) { OPENSSL_cleanse(p, n); }

}  // namespace zelq
