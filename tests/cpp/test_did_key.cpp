#include <gtest/gtest.h>

#include <string>

#include "core/codec.hpp"
#include "crypto/ed25519.hpp"
#include "crypto/p256.hpp"
#include "crypto/producer_key.hpp"
#include "crypto/ed25519.hpp"
#include "wire/did_key_verify.hpp"
#include "did/did_key.hpp"
#include "test_helpers.hpp"

namespace {

using namespace zelq;
using namespace zelq::did;
using zelq::testing::outcome;
using zelq::testing::unhex;
using zelq::testing::unhex_array;

constexpr const char* kEdPub = "d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a";
constexpr const char* kP256Scalar = "c9afa9d845ba75166b5c215767b1d6934e50c3db36e89b127b8a622b120f6721";

// "z" + base58 of the given bytes.
std::string mb(std::string_view hex) {
  std::string out = "z";
  out += base58_encode(unhex(hex));
  return out;
}

crypto::P256SigningKey p256_key() { return crypto::p256_signing_key_from_bytes(unhex_array<32>(kP256Scalar)).value(); }

TEST(DidKey, Ed25519DeriveAndDecodeAgree) {
  const auto key = unhex_array<32>(kEdPub);
  const std::string did = did_key_from_ed25519(key);
  EXPECT_EQ(did.size(), 8u + 48u);
  EXPECT_TRUE(did.starts_with("did:key:z6Mk"));
  auto back = decode_did_key(std::string_view(did).substr(8));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->kind(), DidKeyPublicKey::Kind::Ed25519);
  EXPECT_EQ(back->algorithm(), "ed25519");
  EXPECT_EQ(hex_encode(back->bytes()), kEdPub);
}

TEST(DidKey, P256DeriveAndDecodeAgreeForBothForms) {
  auto key = p256_key();
  auto from_long = did_key_from_p256(key.public_uncompressed());
  auto from_short = did_key_from_p256(key.public_compressed());
  ASSERT_TRUE(from_long);
  ASSERT_TRUE(from_short);
  EXPECT_EQ(*from_long, *from_short);
  EXPECT_EQ(from_long->size(), 8u + 49u);
  EXPECT_TRUE(from_long->starts_with("did:key:zDn"));
  auto back = decode_did_key(std::string_view(*from_long).substr(8));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->algorithm(), "ecdsa-p256");
  EXPECT_EQ(hex_encode(back->bytes()), hex_encode(key.public_compressed()));

  auto identity = p256_did_key_and_key_id(key.clone());
  ASSERT_TRUE(identity);
  EXPECT_EQ(identity->agent_did, *from_long);
  EXPECT_EQ(identity->key_id, *from_long + "#" + from_long->substr(8));
  EXPECT_EQ(identity->key.public_uncompressed(), key.public_uncompressed());
  EXPECT_TRUE(resolve_did_key_url(identity->key_id));
}

TEST(DidKey, P256CompactFormTakesTheSmallerRoot) {
  auto key = p256_key();
  auto c = key.public_compressed();
  auto compact = c;
  compact[0] = 0x05;
  auto flipped = c;
  flipped[0] ^= 1;
  const auto a = did_key_from_p256(compact).value();
  // One of the two roots is the smaller; the compact form names exactly it.
  EXPECT_TRUE(a == did_key_from_p256(c).value() || a == did_key_from_p256(flipped).value());
  EXPECT_NE(did_key_from_p256(c).value(), did_key_from_p256(flipped).value());
}

TEST(DidKey, P256DeriveRefusesWhatIsNoPoint) {
  auto key = p256_key();
  const auto& q = key.public_uncompressed();
  Bytes off(q.begin(), q.end());
  off[64] ^= 1;
  const std::string err = "key resolution failed: p256 SEC1 parse: signature error";
  for (const auto& bad : {off, Bytes{}, Bytes{0x00}, Bytes(q.begin(), q.begin() + 64), Bytes(q.begin() + 1, q.end())}) {
    EXPECT_EQ(outcome(did_key_from_p256(bad)), err) << hex_encode(bad);
  }
}

struct Case {
  std::string input;
  std::string expected;
};

class Decode : public ::testing::TestWithParam<Case> {};

TEST_P(Decode, Message) { EXPECT_EQ(outcome(decode_did_key(GetParam().input)), GetParam().expected); }

const std::string kKR = "key resolution failed: ";
const std::string kNeither =
    kKR + "did:key multicodec prefix is neither ed25519-pub (0xed 0x01) nor p256-pub (0x80 0x24)";

INSTANTIATE_TEST_SUITE_P(
    DidKey, Decode,
    ::testing::Values(
        Case{"", kKR + "did:key requires the 'z' (base58btc) multibase prefix, got ''"},
        Case{"Z6Mk", kKR + "did:key requires the 'z' (base58btc) multibase prefix, got 'Z6Mk'"},
        Case{"z6Mk0", kKR + "did:key base58 decode: provided string contained invalid character '0' at byte 3"},
        Case{"z6M\xc3\xa9", kKR + "did:key base58 decode: provided string contained non-ascii character starting at byte 2"},
        Case{"z", kNeither}, Case{"z2", kNeither}, Case{mb("0102") + "1", kNeither},
        Case{mb("ed01") + "", kKR + "did:key ed25519 key must be 32 bytes after the multicodec prefix, got 0"},
        Case{mb(std::string("ed01") + std::string(62, '1')),
             kKR + "did:key ed25519 key must be 32 bytes after the multicodec prefix, got 31"},
        Case{mb(std::string("8024") + "04" + std::string(128, '1')),
             kKR + "did:key p256 key must be a 33-byte SEC1-compressed point after the multicodec prefix, got 65"},
        Case{mb(std::string("8024") + "04" + std::string(64, '1')),
             kKR + "did:key p256 key must be SEC1-compressed (leading 0x02/0x03)"},
        // A P-256 x without a curve point decodes here; its users refuse it.
        Case{mb(std::string("8024") + "02" + std::string(63, '0') + "1"), "ok"},
        Case{std::string("z").append(3000, '2'), kKR + "did:key base58 decode: buffer provided to decode base58 encoded "
                                                  "string into was too small"}));

class Resolve : public ::testing::TestWithParam<Case> {};

TEST_P(Resolve, Message) { EXPECT_EQ(outcome(resolve_did_key_url(GetParam().input)), GetParam().expected); }

const std::string kEdId = "z6MktwupdmLXVVqTzCw4i46r4uGyosGXRnR3XjN4Zq7oMMsw";

INSTANTIATE_TEST_SUITE_P(
    DidKey, Resolve,
    ::testing::Values(
        Case{"did:key:" + kEdId + "#" + kEdId, "ok"},
        Case{"did:key:", kKR + "key_id 'did:key:' has no '#fragment'"},
        Case{"did:key:#", kKR + "did:key requires the 'z' (base58btc) multibase prefix, got ''"},
        Case{"DID:KEY:" + kEdId + "#" + kEdId, kKR + "not a did:key DID URL: DID:KEY:" + kEdId + "#" + kEdId},
        Case{"did:web:example.com#key-1", kKR + "not a did:key DID URL: did:web:example.com#key-1"},
        Case{"did:ke#x", kKR + "not a did:key DID URL: did:ke#x"},
        Case{"did:key:" + kEdId + "#" + kEdId + "#x",
             kKR + "did:key fragment '#" + kEdId + "#x' must equal the method-specific identifier '" + kEdId +
                 "' (the did:key document's only verification method is the key itself)"},
        Case{"did:key:" + kEdId + "#key-1",
             kKR + "did:key fragment '#key-1' must equal the method-specific identifier '" + kEdId +
                 "' (the did:key document's only verification method is the key itself)"}));

TEST(DidKey, WebOrKeyPrefixTest) {
  EXPECT_FALSE(is_web_or_key_did("did:web:"));
  EXPECT_TRUE(is_web_or_key_did("did:web:a"));
  EXPECT_FALSE(is_web_or_key_did("did:key:z"));
  EXPECT_TRUE(is_web_or_key_did("did:key:z6"));
  EXPECT_FALSE(is_web_or_key_did("did:key:a6Mk"));
  EXPECT_FALSE(is_web_or_key_did("DID:WEB:a"));
  EXPECT_FALSE(is_web_or_key_did(""));
}

// ---- verification by did:key ------------------------------------------------------

const std::string kMsg = "sha256:0000000000000000000000000000000000000000000000000000000000000000";

TEST(VerifyByDidKey, BothAlgorithmsAndTheirFailures) {
  crypto::ProducerKey ed(crypto::Ed25519SigningKey::from_seed(Secret32()));
  const std::string ed_did = did_key_from_ed25519(ed.ed25519()->public_key());
  const std::string ed_kid = ed_did + "#" + ed_did.substr(8);
  const auto ed_sig = ed.sign(kMsg).value;

  auto p_id = p256_did_key_and_key_id(p256_key()).value();
  crypto::ProducerKey p(p_id.key.clone());
  const auto p_sig = p.sign(kMsg).value;

  using wire::Signature;
  const std::string is = "invalid signature: ";
  struct Row {
    Signature sig;
    std::string msg;
    std::string expected;
  } rows[] = {
      {{"ed25519", ed_kid, ed_sig}, kMsg, "ok"},
      {{"ecdsa-p256", p_id.key_id, p_sig}, kMsg, "ok"},
      {{"ed25519", ed_kid, ed_sig}, kMsg + "0", is + "signature verification failed"},
      {{"ecdsa-p256", p_id.key_id, p_sig}, kMsg + "0", is + "ecdsa-p256 signature verification failed"},
      {{"Ed25519", ed_kid, ed_sig}, kMsg,
       is + "signature.algorithm 'Ed25519' does not match the did:key multicodec (key implies 'ed25519')"},
      {{"ed25519", p_id.key_id, p_sig}, kMsg,
       is + "signature.algorithm 'ed25519' does not match the did:key multicodec (key implies 'ecdsa-p256')"},
      {{"ed25519", ed_did, ed_sig}, kMsg, kKR + "key_id '" + ed_did + "' has no '#fragment'"},
      {{"ed25519", ed_kid, ""}, kMsg, is + "sig parse: signature error"},
      {{"ecdsa-p256", p_id.key_id, "x"}, kMsg, is + "base64: Invalid input length: 1"},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(outcome(wire::verify_signature_by_did_key(r.sig, r.msg)), r.expected) << r.sig.key_id;
  }
  // A compressed x with no curve point fails at the key step of P-256.
  const std::string id = mb(std::string("8024") + "02" + std::string(63, '0') + "1");
  const Signature off{"ecdsa-p256", "did:key:" + id + "#" + id, p_sig};
  EXPECT_EQ(outcome(wire::verify_signature_by_did_key(off, kMsg)), is + "ecdsa-p256 key parse: signature error");
}

TEST(DecodePublicKeyB64, LengthAndBase64Messages) {
  EXPECT_EQ(hex_encode(crypto::decode_public_key_b64(base64_encode(unhex(kEdPub))).value()), kEdPub);
  EXPECT_EQ(crypto::decode_public_key_b64(base64_encode(Bytes(33, 1))).error().message, "public key must decode to 32 bytes");
  EXPECT_EQ(crypto::decode_public_key_b64("abc").error().message, "invalid public_key_b64: Invalid padding");
}

}  // namespace
