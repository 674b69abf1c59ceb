#include "crypto/p256.hpp"

#include <openssl/core_names.h>
#include <openssl/err.h>
#include <openssl/obj_mac.h>
#include <openssl/params.h>
#include <openssl/rand.h>

#include <initializer_list>

#include "core/codec.hpp"
#include "core/sha256.hpp"
#include "crypto/ossl.hpp"
#include "crypto/public_inverse.hpp"

namespace zelq::crypto {

namespace {

constexpr const char* kSignFailed = "signature operation failed";

// The group order n, big-endian.
constexpr std::array<std::uint8_t, 32> kOrder = {
    0xff, 0xff, 0xff, 0xff, 0x00, 0x00, 0x00, 0x00, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
    0xbc, 0xe6, 0xfa, 0xad, 0xa7, 0x17, 0x9e, 0x84, 0xf3, 0xb9, 0xca, 0xc2, 0xfc, 0x63, 0x25, 0x51};

// 0 < x < n without a branch or a memory access that depends on x.
bool ct_scalar_in_range(std::span<const std::uint8_t, 32> x) {
  std::uint32_t borrow = 0;
  std::uint32_t any = 0;
  for (std::size_t i = 32; i-- > 0;) {
    const std::uint32_t diff = std::uint32_t{x[i]} - kOrder[i] - borrow;
    borrow = (diff >> 31) & 1;
    any |= x[i];
  }
  const std::uint32_t is_zero = ((any - 1) >> 31) & 1;
  return (borrow & (is_zero ^ 1)) == 1;
}

// Building the group costs about as much as a sixth of a verification, so it is
// built once per process. OpenSSL only reads a group after it is built, which
// lets every thread share this one.
const EC_GROUP* p256_group() {
  static const EcGroupPtr group = [] {
    EcGroupPtr g(EC_GROUP_new_by_curve_name(NID_X9_62_prime256v1));
    ossl_check(g != nullptr, "P-256 group unavailable");
    return g;
  }();
  return group.get();
}

EcPointPtr new_point(const EC_GROUP* g) {
  EcPointPtr p(EC_POINT_new(g));
  ossl_check(p != nullptr, "out of memory");
  return p;
}

// The SEC1 forms this system exchanges; OpenSSL also knows hybrid forms,
// which are refused here before it sees them.
bool sec1_shape_ok(std::span<const std::uint8_t> sec1) {
  if (sec1.size() == 33) return sec1[0] == 0x02 || sec1[0] == 0x03;
  if (sec1.size() == 65) return sec1[0] == 0x04;
  return false;
}

// nullptr when the bytes are not a valid point.
EcPointPtr decode_point(const EC_GROUP* g, std::span<const std::uint8_t> sec1, BN_CTX* ctx) {
  if (!sec1_shape_ok(sec1)) return nullptr;
  auto p = new_point(g);
  if (EC_POINT_oct2point(g, p.get(), sec1.data(), sec1.size(), ctx) != 1) {
    ERR_clear_error();
    return nullptr;
  }
  return p;
}

P256Uncompressed encode_uncompressed(const EC_GROUP* g, const EC_POINT* p, BN_CTX* ctx) {
  P256Uncompressed out{};
  ossl_check(EC_POINT_point2oct(g, p, POINT_CONVERSION_UNCOMPRESSED, out.data(), out.size(), ctx) == out.size(),
             "P-256 point encoding failed");
  return out;
}

BnPtr bn_from(std::span<const std::uint8_t> be) {
  BnPtr b(BN_bin2bn(be.data(), static_cast<int>(be.size()), nullptr));
  ossl_check(b != nullptr, "out of memory");
  return b;
}

SecretBnPtr secret_bn_from(std::span<const std::uint8_t> be) {
  auto b = new_secret_bn();
  ossl_check(BN_bin2bn(be.data(), static_cast<int>(be.size()), b.get()) != nullptr, "out of memory");
  return b;
}

// SHA-256 of the message as an integer reduced mod n.
BnPtr digest_scalar(std::string_view message, const BIGNUM* n, BN_CTX* ctx) {
  const auto h = sha256(message);
  auto e = bn_from(h);
  ossl_check(BN_nnmod(e.get(), e.get(), n, ctx) == 1, "P-256 arithmetic failed");
  return e;
}

// x(R) mod n == r for a finite point R, tested on its Jacobian coordinates
// as X == r' Z^2 (mod p) for r' = r and, when it is below p, r' = r + n: the
// field inversion an affine x needs costs more than these products.
bool x_is_r_mod_n(const EC_GROUP* g, const EC_POINT* point, const BIGNUM* r, BN_CTX* ctx) {
  const BIGNUM* p = EC_GROUP_get0_field(g);
  auto x = new_bn(), z = new_bn(), zz = new_bn(), rzz = new_bn(), r_plus_n = new_bn();
  // The Jacobian accessor is marked deprecated in OpenSSL 3 but kept in every
  // 3.x release; no other call reads a point without the inversion.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  const int got = EC_POINT_get_Jprojective_coordinates_GFp(g, point, x.get(), nullptr, z.get(), ctx);
#pragma GCC diagnostic pop
  ossl_check(got == 1 && BN_mod_sqr(zz.get(), z.get(), p, ctx) == 1, "P-256 arithmetic failed");
  auto matches = [&](const BIGNUM* candidate) {
    ossl_check(BN_mod_mul(rzz.get(), candidate, zz.get(), p, ctx) == 1, "P-256 arithmetic failed");
    return BN_cmp(rzz.get(), x.get()) == 0;
  };
  if (matches(r)) return true;
  ossl_check(BN_add(r_plus_n.get(), r, EC_GROUP_get0_order(g)) == 1, "P-256 arithmetic failed");
  return BN_cmp(r_plus_n.get(), p) < 0 && matches(r_plus_n.get());
}

ZResult<void> sig_fail(std::string text) { return fail(ZelqError::invalid_signature(std::move(text))); }

// OpenSSL's HMAC implementation, looked up once per process: a lookup by
// name costs more than the HMACs of a nonce. The object is only read.
EVP_MAC* hmac_mac() {
  static const MacPtr mac = [] {
    MacPtr m(EVP_MAC_fetch(nullptr, "HMAC", nullptr));
    ossl_check(m != nullptr, kSignFailed);
    return m;
  }();
  return mac.get();
}

// HMAC-SHA-256 with a 32-byte key, for the RFC 6979 nonce generator. The
// digest is chosen once; the context is rekeyed for every use and wipes its
// key state when freed.
class HmacSha256 {
 public:
  HmacSha256() {
    ctx_.reset(EVP_MAC_CTX_new(hmac_mac()));
    ossl_check(ctx_ != nullptr, kSignFailed);
    char digest[] = "SHA256";
    OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0), OSSL_PARAM_construct_end()};
    ossl_check(EVP_MAC_CTX_set_params(ctx_.get(), params) == 1, kSignFailed);
  }

  // out = HMAC(key, parts...); `out` may be one of the parts.
  void compute(const Secret32& key, std::initializer_list<std::span<const std::uint8_t>> parts, Secret32& out) {
    ossl_check(EVP_MAC_init(ctx_.get(), key.data(), key.size(), nullptr) == 1, kSignFailed);
    for (auto part : parts) ossl_check(EVP_MAC_update(ctx_.get(), part.data(), part.size()) == 1, kSignFailed);
    Secret32 result;
    std::size_t len = 0;
    ossl_check(EVP_MAC_final(ctx_.get(), result.data(), &len, result.size()) == 1 && len == result.size(), kSignFailed);
    out = std::move(result);
  }

 private:
  MacCtxPtr ctx_;
};

// RFC 6979 section 3.2 for P-256 and SHA-256 (qlen = hlen = 256), no extra
// input: x is the scalar, h1 the message digest reduced mod n, both 32 bytes.
Secret32 rfc6979_nonce(const Secret32& x, std::span<const std::uint8_t, 32> h1) {
  static constexpr std::uint8_t kZero[1] = {0x00};
  static constexpr std::uint8_t kOne[1] = {0x01};
  HmacSha256 hmac;
  Secret32 v, k;
  for (auto& b : v.span()) b = 0x01;
  hmac.compute(k, {v.span(), kZero, x.span(), h1}, k);
  hmac.compute(k, {v.span()}, v);
  hmac.compute(k, {v.span(), kOne, x.span(), h1}, k);
  hmac.compute(k, {v.span()}, v);
  for (;;) {
    hmac.compute(k, {v.span()}, v);
    if (ct_scalar_in_range(v.span())) return v.clone();
    hmac.compute(k, {v.span(), kZero}, k);
    hmac.compute(k, {v.span()}, v);
  }
}

}  // namespace

std::optional<P256PublicKey> P256PublicKey::from_sec1(std::span<const std::uint8_t> sec1) {
  const EC_GROUP* g = p256_group();
  auto ctx = new_bn_ctx();
  auto p = decode_point(g, sec1, ctx.get());
  if (!p) return std::nullopt;
  return P256PublicKey(encode_uncompressed(g, p.get(), ctx.get()));
}

namespace {

P256Compressed compress(const P256Uncompressed& u) {
  P256Compressed c{};
  c[0] = static_cast<std::uint8_t>(0x02 | (u[64] & 1));
  std::copy(u.begin() + 1, u.begin() + 33, c.begin() + 1);
  return c;
}

}  // namespace

P256Compressed P256PublicKey::compressed() const { return compress(point_); }

P256Compressed P256SigningKey::public_compressed() const { return compress(q_); }

ZResult<void> verify_p256(std::span<const std::uint8_t> key_sec1, std::string_view sig_b64, std::string_view message) {
  const EC_GROUP* g = p256_group();
  const BIGNUM* n = EC_GROUP_get0_order(g);
  auto ctx = new_bn_ctx();

  auto q = decode_point(g, key_sec1, ctx.get());
  if (!q) return sig_fail("ecdsa-p256 key parse: signature error");

  auto sig = base64_decode(sig_b64);
  if (!sig) return sig_fail("base64: " + sig.error());
  if (sig->size() != 64) {
    return sig_fail("ecdsa-p256 signature MUST be 64 bytes (IEEE 1363 r\xE2\x80\x96s), got " + std::to_string(sig->size()));
  }
  auto r = bn_from(std::span(*sig).first(32));
  auto s = bn_from(std::span(*sig).last(32));
  if (BN_is_zero(r.get()) || BN_is_zero(s.get()) || BN_cmp(r.get(), n) >= 0 || BN_cmp(s.get(), n) >= 0) {
    return sig_fail("ecdsa-p256 sig parse: signature error");
  }

  // e is left unreduced: u1 = e w mod n comes out the same.
  auto e = bn_from(sha256(message));
  // s is public, so a variable-time inverse serves; BN_mod_inverse would take
  // a sixth of the verification.
  auto w = bn_from(public_inverse_mod(std::span(*sig).last<32>(), kOrder));
  auto u1 = new_bn(), u2 = new_bn();
  ossl_check(BN_mod_mul(u1.get(), e.get(), w.get(), n, ctx.get()) == 1 &&
                 BN_mod_mul(u2.get(), r.get(), w.get(), n, ctx.get()) == 1,
             "P-256 arithmetic failed");
  auto point = new_point(g);
  ossl_check(EC_POINT_mul(g, point.get(), u1.get(), q.get(), u2.get(), ctx.get()) == 1, "P-256 arithmetic failed");
  if (EC_POINT_is_at_infinity(g, point.get()) == 1) return sig_fail("ecdsa-p256 signature verification failed");
  if (!x_is_r_mod_n(g, point.get(), r.get(), ctx.get())) return sig_fail("ecdsa-p256 signature verification failed");
  return {};
}

ZResult<P256SigningKey> p256_signing_key_from_bytes(std::span<const std::uint8_t, 32> bytes) {
  if (!ct_scalar_in_range(bytes)) return fail(ZelqError::schema("p256 key parse: signature error"));
  const EC_GROUP* g = p256_group();
  auto ctx = new_bn_ctx();
  P256Uncompressed q{};
  {
    // The working copy of d lives in a BIGNUM that is wiped when freed.
    auto d = secret_bn_from(bytes);
    auto point = new_point(g);
    ossl_check(EC_POINT_mul(g, point.get(), d.get(), nullptr, nullptr, ctx.get()) == 1, "P-256 arithmetic failed");
    q = encode_uncompressed(g, point.get(), ctx.get());
  }
  return P256SigningKey(Secret32(bytes), q);
}

namespace {

// A uniformly random scalar in 1..n-1, drawn by rejection.
Secret32 random_scalar() {
  Secret32 x;
  do {
    ossl_check(RAND_bytes(x.data(), static_cast<int>(x.size())) == 1, "random source failed");
  } while (!ct_scalar_in_range(x.span()));
  return x;
}

// d is in range: 0 < d < n.
P256Signature sign_with_scalar(const Secret32& scalar, std::string_view message) {
  const EC_GROUP* g = p256_group();
  const BIGNUM* n = EC_GROUP_get0_order(g);
  auto ctx = new_bn_ctx();

  auto e = digest_scalar(message, n, ctx.get());
  std::array<std::uint8_t, 32> h1{};
  ossl_check(BN_bn2binpad(e.get(), h1.data(), 32) == 32, kSignFailed);
  const Secret32 nonce = rfc6979_nonce(scalar, h1);

  auto k = secret_bn_from(nonce.span());
  auto d = secret_bn_from(scalar.span());
  auto kinv = new_secret_bn(), rd = new_secret_bn(), sum = new_secret_bn(), s = new_secret_bn(), kb = new_secret_bn();
  auto r = new_bn();

  // r = x(k*G) mod n; the generator multiplication is constant-time.
  auto point = new_point(g);
  ossl_check(EC_POINT_mul(g, point.get(), k.get(), nullptr, nullptr, ctx.get()) == 1 &&
                 EC_POINT_get_affine_coordinates(g, point.get(), r.get(), nullptr, ctx.get()) == 1 &&
                 BN_nnmod(r.get(), r.get(), n, ctx.get()) == 1,
             kSignFailed);
  ossl_check(!BN_is_zero(r.get()), kSignFailed);

  // s = k^-1 (e + r d) mod n, products in Montgomery form. The group keeps
  // the Montgomery constants of its order, which are costly to set up; the
  // Montgomery routines only read them but are declared without const.
  auto* mont = const_cast<BN_MONT_CTX*>(EC_GROUP_get_mont_data(g));
  ossl_check(mont != nullptr, kSignFailed);
  // k^-1 = b (k b)^-1 for a fresh random b: k b is uniform whatever k is, so
  // inverting it in variable time (a fraction of the cost of a constant-time
  // exponentiation) tells nothing about k. b cancels: the signature stays
  // the deterministic one.
  const Secret32 blind = random_scalar();
  auto b = secret_bn_from(blind.span());
  Secret32 kb_bytes;
  ossl_check(BN_to_montgomery(kinv.get(), k.get(), mont, ctx.get()) == 1 &&
                 BN_mod_mul_montgomery(kb.get(), kinv.get(), b.get(), mont, ctx.get()) == 1 &&
                 BN_bn2binpad(kb.get(), kb_bytes.data(), 32) == 32,
             kSignFailed);
  const Be256 inverse = public_inverse_mod(kb_bytes.span(), kOrder);
  const Secret32 kb_inverse(inverse);
  auto inv = secret_bn_from(kb_inverse.span());
  ossl_check(BN_to_montgomery(inv.get(), inv.get(), mont, ctx.get()) == 1 &&
                 BN_mod_mul_montgomery(kinv.get(), inv.get(), b.get(), mont, ctx.get()) == 1 &&
                 BN_to_montgomery(d.get(), d.get(), mont, ctx.get()) == 1 &&
                 BN_mod_mul_montgomery(rd.get(), r.get(), d.get(), mont, ctx.get()) == 1 &&
                 BN_mod_add_quick(sum.get(), e.get(), rd.get(), n) == 1 &&
                 BN_to_montgomery(sum.get(), sum.get(), mont, ctx.get()) == 1 &&
                 BN_mod_mul_montgomery(s.get(), kinv.get(), sum.get(), mont, ctx.get()) == 1,
             kSignFailed);
  ossl_check(!BN_is_zero(s.get()), kSignFailed);

  P256Signature out{};
  ossl_check(BN_bn2binpad(r.get(), out.data(), 32) == 32 && BN_bn2binpad(s.get(), out.data() + 32, 32) == 32,
             kSignFailed);
  return out;
}

}  // namespace

P256Signature P256SigningKey::sign(std::string_view message) const { return sign_with_scalar(d_, message); }

ZResult<P256Signature> p256_sign(std::span<const std::uint8_t, 32> scalar, std::string_view message) {
  if (!ct_scalar_in_range(scalar)) return fail(ZelqError::schema("p256 key parse: signature error"));
  return sign_with_scalar(Secret32(scalar), message);
}

}  // namespace zelq::crypto
