#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/codec.hpp"
#include "core/sha256.hpp"
#include "crypto/ed25519.hpp"
#include "crypto/fingerprint.hpp"
#include "crypto/jwk.hpp"
#include "crypto/ossl.hpp"
#include "crypto/p256.hpp"
#include "crypto/public_inverse.hpp"
#include "crypto/producer_key.hpp"
#include "crypto/verify.hpp"
#include "test_helpers.hpp"
#include "core/json/writer.hpp"

namespace {

using namespace zelq;
using namespace zelq::crypto;
using zelq::testing::outcome;
using zelq::testing::unhex;
using zelq::testing::unhex_array;

const std::string kMsg = "sha256:abababababababababababababababababababababababababababababababab";

std::string b64(std::string_view hex) { return base64_encode(unhex(hex)); }

std::string ed_verify(std::string_view key_hex, std::string_view sig_b64, std::string_view msg) {
  return outcome(verify_ed25519(unhex_array<32>(key_hex), sig_b64, msg));
}

// ---- Ed25519 -----------------------------------------------------------------

struct Rfc8032 {
  const char* seed;
  const char* pub;
  const char* msg_hex;
  const char* sig;
};

constexpr Rfc8032 kRfc8032[] = {
    {"9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031cae7f60",
     "d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a", "",
     "e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e065224901555fb8821590a33bacc61e39701cf9b46bd25bf5f0595bbe2465"
     "5141438e7a100b"},
    {"4ccd089b28ff96da9db6c346ec114e0f5b8a319f35aba624da8cf6ed4fb8a6fb",
     "3d4017c3e843895a92b70aa74d1b7ebc9c982ccf2ec4968cc0cd55f12af4660c", "72",
     "92a009a9f0d4cab8720e820b5f642540a2b27b5416503f8fb3762223ebdb69da085ac1e43e15996e458f3613d0f11d8c387b2eaeb4302aee"
     "b00d291612bb0c00"},
};

TEST(Ed25519, Rfc8032VectorsSignAndVerify) {
  for (const auto& v : kRfc8032) {
    const auto msg_bytes = unhex(v.msg_hex);
    const std::string msg(msg_bytes.begin(), msg_bytes.end());
    auto key = Ed25519SigningKey::from_seed(Secret32(unhex_array<32>(v.seed)));
    EXPECT_EQ(hex_encode(key.public_key()), v.pub);
    EXPECT_EQ(hex_encode(key.sign(msg)), v.sig);
    EXPECT_EQ(ed_verify(v.pub, b64(v.sig), msg), "ok");
    EXPECT_EQ(ed_verify(v.pub, b64(v.sig), msg + "x"), "invalid signature: signature verification failed");
  }
}

struct EdCase {
  const char* name;
  const char* key;
  const char* sig_hex;  // nullptr: use sig_text
  const char* sig_text;
  const char* expected;
};

// The key of the first RFC 8032 vector, and keys that are special as points.
constexpr const char* kPub1 = "d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a";
constexpr const char* kSig1 =
    "e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e065224901555fb8821590a33bacc61e39701cf9b46bd25bf5f0595bbe24655"
    "141438e7a100b";
constexpr const char* kIdentity = "0100000000000000000000000000000000000000000000000000000000000000";
constexpr const char* kNotAPoint = "0200000000000000000000000000000000000000000000000000000000000000";
constexpr const char* kOrder8 = "c7176a703d4dd84fba3c0b760d10670f2a2053fa2c39ccc64ec7fd7792ac037a";
// y = p: the order-4 point (x, 0) written with y not reduced.
constexpr const char* kNonCanonicalY = "edffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f";
constexpr const char* kCanonicalY0 = "0000000000000000000000000000000000000000000000000000000000000000";

constexpr EdCase kEdCases[] = {
    // S + L is the same scalar but not canonical: refused.
    {"s_plus_l", kPub1,
     "e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e065224901554c8c7872aa064e049dbb3013fbf29380d25bf5f0595bbe2465"
     "5141438e7a101b",
     nullptr, "invalid signature: signature verification failed"},
    // S with its top bits set.
    {"s_top_bits", kPub1,
     "e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e065224901555fb8821590a33bacc61e39701cf9b46bd25bf5f0595bbe2465"
     "5141438e7a10eb",
     nullptr, "invalid signature: signature verification failed"},
    // Small-order keys are not refused as such: the equation decides.
    {"identity_key", kIdentity,
     "01000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
     "000000000000",
     nullptr, "ok"},
    {"order8_key", kOrder8,
     "c9a3f86aae465f0e56513864510f3997561fa2c9e85ea21dc2292309f3cd60220200000000000000000000000000000000000000000000000000"
     "000000000000",
     nullptr, "ok"},
    // The key is hashed as given: the same point in its canonical encoding
    // gives another k, and the signature no longer holds.
    {"non_canonical_key", kNonCanonicalY,
     "245c079551b9a0f1a9aec79baef0c668a9e05d3617a15de23dd6dcf60c329fdd0200000000000000000000000000000000000000000000000000"
     "000000000000",
     nullptr, "ok"},
    {"canonical_twin_key", kCanonicalY0,
     "245c079551b9a0f1a9aec79baef0c668a9e05d3617a15de23dd6dcf60c329fdd0200000000000000000000000000000000000000000000000000"
     "000000000000",
     nullptr, "invalid signature: signature verification failed"},
    // x = 0 with the sign bit set is accepted as the identity.
    {"x0_sign_bit", "0100000000000000000000000000000000000000000000000000000000000080",
     "edc876d6831fd2105d0b4389ca2e283166469289146e2ce06faefe98b22548df0500000000000000000000000000000000000000000000000000"
     "000000000000",
     nullptr, "ok"},
    // R is compared as bytes: a non-canonical R of the right point never matches.
    {"non_canonical_r", kIdentity,
     "eeffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f0000000000000000000000000000000000000000000000000000"
     "000000000000",
     nullptr, "invalid signature: signature verification failed"},
    // The key is judged before the signature text.
    {"not_a_point", kNotAPoint, kSig1, nullptr, "invalid signature: signature error"},
    {"not_a_point_bad_b64", kNotAPoint, nullptr, "not base64!", "invalid signature: signature error"},
    {"not_a_point_short", kNotAPoint, nullptr, "AAAA", "invalid signature: signature error"},
    {"bad_b64", kPub1, nullptr, "not base64!", "invalid signature: base64: Invalid symbol 32, offset 3."},
    {"unpadded", kPub1, nullptr, "5VZDAMNgrHKQhuLMgG6CioSHfx645dl02HPgZSJJAVVfuIIVkKM7rMYeOXAc+bRr0lv18FlbviRlUUFDjnoQCw",
     "invalid signature: base64: Invalid padding"},
    {"empty", kPub1, nullptr, "", "invalid signature: sig parse: signature error"},
    {"63_bytes", kPub1, nullptr, "AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA",
     "invalid signature: sig parse: signature error"},
};

class Ed25519Rule : public ::testing::TestWithParam<EdCase> {};

TEST_P(Ed25519Rule, FollowsTheAcceptanceRule) {
  const auto& c = GetParam();
  const std::string sig = c.sig_hex ? b64(c.sig_hex) : std::string(c.sig_text);
  const std::string msg = c.sig_hex == kSig1 ? "" : kMsg;
  EXPECT_EQ(ed_verify(c.key, sig, msg), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, Ed25519Rule, ::testing::ValuesIn(kEdCases),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(Ed25519, PointTest) {
  EXPECT_TRUE(ed25519_key_is_point(unhex_array<32>(kPub1)));
  EXPECT_TRUE(ed25519_key_is_point(unhex_array<32>(kNonCanonicalY)));
  EXPECT_FALSE(ed25519_key_is_point(unhex_array<32>(kNotAPoint)));
  // y = p + 2 reduces to 2, which has no x.
  EXPECT_FALSE(ed25519_key_is_point(unhex_array<32>("efffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f")));
}

// ---- P-256 ---------------------------------------------------------------------

constexpr const char* kP256Order = "ffffffff00000000ffffffffffffffffbce6faada7179e84f3b9cac2fc632551";
constexpr const char* kRfc6979Key = "c9afa9d845ba75166b5c215767b1d6934e50c3db36e89b127b8a622b120f6721";
constexpr const char* kRfc6979Pub =
    "0460fed4ba255a9d31c961eb74c6356d68c049b8923b61fa6ce669622e60f29fb67903fe1008b8bc99a41ae9e95628bc64f2f1b20c2d7e9f517"
    "7a3c294d4462299";

P256SigningKey rfc6979_key() { return p256_signing_key_from_bytes(unhex_array<32>(kRfc6979Key)).value(); }

TEST(P256, Rfc6979AppendixA25) {
  auto key = rfc6979_key();
  EXPECT_EQ(hex_encode(key.public_uncompressed()), kRfc6979Pub);
  EXPECT_EQ(hex_encode(key.sign("sample")),
            "efd48b2aacb6a8fd1140dd9cd45e81d69d2c877b56aaf991c34d0ea84eaf3716"
            "f7cb1c942d657c41d436c7a1b6e29f65f3e900dbb9aff4064dc4ab2f843acda8");
  EXPECT_EQ(hex_encode(key.sign("test")),
            "f1abb023518351cd71d881567b1ea663ed3efcf6c5132b354f28d3b0b7d38367"
            "019f4113742a2b14bd25926b49c649155f267e60d3814b4c0cc84250e46f0083");
}

// n - x for a 32-byte big-endian x < n.
std::array<std::uint8_t, 32> order_minus(std::span<const std::uint8_t> x) {
  auto n = unhex_array<32>(kP256Order);
  std::array<std::uint8_t, 32> out{};
  int borrow = 0;
  for (std::size_t i = 32; i-- > 0;) {
    int d = n[i] - x[i] - borrow;
    borrow = d < 0;
    out[i] = static_cast<std::uint8_t>(d + (borrow ? 256 : 0));
  }
  return out;
}

TEST(P256, VerifiesBothKeyFormsAndTheLowSTwin) {
  auto key = rfc6979_key();
  const auto sig = key.sign(kMsg);
  const auto text = base64_encode(sig);
  EXPECT_EQ(text.size(), 88u);
  EXPECT_EQ(outcome(verify_p256(key.public_uncompressed(), text, kMsg)), "ok");
  EXPECT_EQ(outcome(verify_p256(key.public_compressed(), text, kMsg)), "ok");
  Bytes twin(sig.begin(), sig.begin() + 32);
  auto s2 = order_minus(std::span(sig).last(32));
  twin.insert(twin.end(), s2.begin(), s2.end());
  EXPECT_EQ(outcome(verify_p256(key.public_uncompressed(), base64_encode(twin), kMsg)), "ok");
  EXPECT_EQ(outcome(verify_p256(key.public_uncompressed(), text, kMsg + " ")),
            "invalid signature: ecdsa-p256 signature verification failed");
}

TEST(P256, RangeOfRAndS) {
  auto key = rfc6979_key();
  const auto sig = key.sign(kMsg);
  const std::string r = hex_encode(std::span(sig).first(32)), s = hex_encode(std::span(sig).last(32));
  const std::string zero(64, '0'), ones(64, 'f'), n = kP256Order;
  const std::string parse = "invalid signature: ecdsa-p256 sig parse: signature error";
  for (const auto& bad : {zero, n, ones}) {
    EXPECT_EQ(outcome(verify_p256(key.public_uncompressed(), b64(bad + s), kMsg)), parse) << bad;
    EXPECT_EQ(outcome(verify_p256(key.public_uncompressed(), b64(r + bad), kMsg)), parse) << bad;
  }
  // n - 1 is in range and only fails the equation.
  std::string n_minus_1 = n;
  n_minus_1.back() = '0';
  EXPECT_EQ(outcome(verify_p256(key.public_uncompressed(), b64(r + n_minus_1), kMsg)),
            "invalid signature: ecdsa-p256 signature verification failed");
}

TEST(P256, KeyIsCheckedFirstAndLengthIsNamed) {
  auto key = rfc6979_key();
  const auto& q = key.public_uncompressed();
  const std::string key_err = "invalid signature: ecdsa-p256 key parse: signature error";
  auto off_curve = Bytes(q.begin(), q.end());
  off_curve[64] ^= 1;
  auto hybrid = Bytes(q.begin(), q.end());
  hybrid[0] = 0x06 | (q[64] & 1);
  auto bare = Bytes(q.begin() + 1, q.end());  // x || y without 0x04
  auto big_x = unhex("02ffffffff00000001000000000000000000000000ffffffffffffffffffffffff");  // x = p
  auto compact = Bytes(q.begin(), q.begin() + 33);
  compact[0] = 0x05;
  for (const auto& bad : {off_curve, hybrid, bare, big_x, compact, Bytes{}, Bytes{0x00}, Bytes{0x04}}) {
    EXPECT_EQ(outcome(verify_p256(bad, "not base64!", kMsg)), key_err) << hex_encode(bad);
  }
  EXPECT_EQ(outcome(verify_p256(q, "AA", kMsg)), "invalid signature: base64: Invalid padding");
  EXPECT_EQ(outcome(verify_p256(q, "", kMsg)),
            "invalid signature: ecdsa-p256 signature MUST be 64 bytes (IEEE 1363 r\xE2\x80\x96s), got 0");
  EXPECT_EQ(outcome(verify_p256(q, base64_encode(Bytes(71, 1)), kMsg)),
            "invalid signature: ecdsa-p256 signature MUST be 64 bytes (IEEE 1363 r\xE2\x80\x96s), got 71");
}

TEST(P256, ScalarRange) {
  const std::string err = "schema violation: p256 key parse: signature error";
  EXPECT_EQ(outcome(p256_signing_key_from_bytes(unhex_array<32>(std::string(64, '0')))), err);
  EXPECT_EQ(outcome(p256_signing_key_from_bytes(unhex_array<32>(kP256Order))), err);
  EXPECT_EQ(outcome(p256_signing_key_from_bytes(unhex_array<32>(std::string(64, 'f')))), err);
  std::string n_minus_1 = kP256Order;
  n_minus_1.back() = '0';
  auto top = p256_signing_key_from_bytes(unhex_array<32>(n_minus_1));
  ASSERT_TRUE(top);
  // (n - 1) G = -G: the generator's x with the other y.
  EXPECT_EQ(hex_encode(std::span(top->public_uncompressed()).subspan(1, 32)),
            "6b17d1f2e12c4247f8bce6e563a440f277037d812deb33a0f4a13945d898c296");
  auto one = p256_signing_key_from_bytes(unhex_array<32>(std::string(63, '0') + "1"));
  ASSERT_TRUE(one);
  EXPECT_EQ(hex_encode(std::span(one->public_uncompressed()).subspan(1, 32)),
            "6b17d1f2e12c4247f8bce6e563a440f277037d812deb33a0f4a13945d898c296");
  EXPECT_NE(top->public_uncompressed(), one->public_uncompressed());
}

// a * inverse(a) = 1 against OpenSSL's arithmetic, at the limbs' edges and
// next to the modulus, for the group order and the field prime.
TEST(P256, PublicInverseMod) {
  const std::string field = "ffffffff00000001000000000000000000000000ffffffffffffffffffffffff";
  BnCtxPtr ctx = new_bn_ctx();
  auto bn = [](std::span<const std::uint8_t> be) { return BnPtr(BN_bin2bn(be.data(), static_cast<int>(be.size()), nullptr)); };
  for (const std::string& m_hex : {std::string(kP256Order), field}) {
    const auto m = unhex_array<32>(m_hex);
    std::vector<std::array<std::uint8_t, 32>> values;
    for (const char* a : {"01", "02", "03", "8000000000000000000000000000000000000000000000000000000000000000",
                          "0000000000000001000000000000000000000000000000000000000000000000",
                          "ffffffffffffffff", "6b17d1f2e12c4247f8bce6e563a440f277037d812deb33a0f4a13945d898c296"}) {
      values.push_back(unhex_array<32>(std::string(64 - std::string_view(a).size(), '0') + a));
    }
    for (BN_ULONG k : {1, 2}) {
      BnPtr below = bn(m);
      ASSERT_EQ(BN_sub_word(below.get(), k), 1);
      ASSERT_EQ(BN_bn2binpad(below.get(), values.emplace_back().data(), 32), 32);
    }
    for (const auto& a : values) {
      const auto inv = public_inverse_mod(a, m);
      BnPtr product = new_bn(), bn_a = bn(a), bn_m = bn(m), bn_inv = bn(inv);
      ASSERT_EQ(BN_mod_mul(product.get(), bn_a.get(), bn_inv.get(), bn_m.get(), ctx.get()), 1);
      EXPECT_TRUE(BN_is_one(product.get())) << hex_encode(a) << " mod " << m_hex;
      EXPECT_LT(BN_cmp(bn_inv.get(), bn_m.get()), 0) << hex_encode(a) << " mod " << m_hex;
    }
  }
}

TEST(P256, PublicKeyJwk) {
  const auto jwk = p256_public_key_jwk(rfc6979_key());
  EXPECT_EQ(json::to_string(jwk),
            R"({"kty":"EC","crv":"P-256","x":"YP7UuiVanTHJYet0xjVtaMBJuJI7Yfps5mliLmDyn7Y",)"
            R"("y":"eQP-EAi4vJmkGunpVii8ZPLxsgwtfp9Rd6PClNRGIpk"})");
}

// ---- producer keys and fingerprints ---------------------------------------------

TEST(ProducerKey, SignsDeterministicallyForBothAlgorithms) {
  ProducerKey ed(Ed25519SigningKey::from_seed(Secret32(unhex_array<32>(kRfc8032[0].seed))));
  ProducerKey p(rfc6979_key());
  for (const ProducerKey* k : {&ed, &p}) {
    const auto a = k->sign(kMsg), b = k->sign(kMsg);
    EXPECT_EQ(a.value, b.value);
    EXPECT_EQ(a.value.size(), 88u);
    EXPECT_TRUE(a.value.ends_with("=="));
    EXPECT_EQ(a.algorithm, k->algorithm());
  }
  EXPECT_EQ(ed.algorithm(), "ed25519");
  EXPECT_EQ(p.algorithm(), "ecdsa-p256");
  EXPECT_EQ(outcome(verify_ed25519(ed.ed25519()->public_key(), ed.sign(kMsg).value, kMsg)), "ok");
  EXPECT_EQ(outcome(verify_p256(p.p256()->public_compressed(), p.sign(kMsg).value, kMsg)), "ok");
  // The key's algorithm picks the verifier; the other algorithm's signature fails.
  const auto& p_bytes = p.p256()->public_uncompressed();
  const PublicKey ed_key = ed.ed25519()->public_key(), p_key = p_bytes;
  EXPECT_EQ(outcome(verify_signature(ed_key, ed.sign(kMsg).value, kMsg)), "ok");
  EXPECT_EQ(outcome(verify_signature(p_key, p.sign(kMsg).value, kMsg)), "ok");
  EXPECT_NE(outcome(verify_signature(p_key, ed.sign(kMsg).value, kMsg)), "ok");
  EXPECT_EQ(outcome(verify_signature(KeyAlgorithm::Ed25519, p_bytes, ed.sign(kMsg).value, kMsg)),
            "invalid signature: signature error");
}

TEST(Fingerprint, HashesTheRawOrCompressedKey) {
  const std::string zero_fp = "sha256:66687aadf862bd776c8fc18b8e9f8e20089714856ee233b3902a591d0d5f2925";
  EXPECT_EQ(fingerprint_ed25519(std::array<std::uint8_t, 32>{}), zero_fp);
  // Not a point, still a fingerprint.
  EXPECT_EQ(fingerprint_ed25519(unhex_array<32>(kNotAPoint)).size(), 71u);
  auto key = rfc6979_key();
  auto compressed = key.public_compressed();
  auto fp = public_key_fingerprint(KeyAlgorithm::P256, compressed);
  ASSERT_TRUE(fp);
  EXPECT_EQ(*fp, sha256_prefixed(std::span<const std::uint8_t>(compressed)));
  auto ed = public_key_fingerprint(KeyAlgorithm::Ed25519, std::array<std::uint8_t, 32>{});
  EXPECT_EQ(ed.value(), zero_fp);
  // x = 1 has no point on the curve.
  auto no_point = unhex_array<33>("020000000000000000000000000000000000000000000000000000000000000001");
  EXPECT_EQ(outcome(public_key_fingerprint(KeyAlgorithm::P256, no_point)),
            "key resolution failed: p256 SEC1 parse: signature error");
}

}  // namespace
