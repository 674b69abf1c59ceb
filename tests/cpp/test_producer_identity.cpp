// The signing identity a build call derives from a producer's stored state.
#include <gtest/gtest.h>

#include "producer/producer.hpp"

namespace zelq::producer {
namespace {

const std::array<std::uint8_t, 32> kSeed = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16,
                                            17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32};

class Identity : public ::testing::TestWithParam<KeyKind> {};

TEST_P(Identity, DidKeyIsProvenAndItsKeyIdDerived) {
  const KeyKind kind = GetParam();
  auto own = Producer::from_seed_did_key(kind, kSeed);
  ASSERT_TRUE(own);
  // A stored key id is ignored for a did:key: the derived one is used.
  auto stored = Producer::from_seed(kind, kSeed, own->agent_did(), "did:web:elsewhere#key-1");
  ASSERT_TRUE(stored);
  auto id = stored->identity();
  ASSERT_TRUE(id);
  EXPECT_EQ(id->agent_did, own->agent_did());
  EXPECT_EQ(id->key_id, own->key_id());
  EXPECT_EQ(id->key.algorithm(), kind == KeyKind::Ed25519 ? "ed25519" : "ecdsa-p256");

  auto other_seed = kSeed;
  other_seed[0] ^= 1;
  auto wrong = Producer::from_seed(kind, other_seed, own->agent_did(), "k");
  ASSERT_TRUE(wrong);
  auto refused = wrong->identity();
  ASSERT_FALSE(refused);
  const auto* mismatch = std::get_if<ArgumentError>(&refused.error());
  ASSERT_NE(mismatch, nullptr);
  auto derived = Producer::from_seed_did_key(kind, other_seed)->agent_did();
  EXPECT_EQ(mismatch->message, "did:key identity mismatch: this seed derives '" + derived +
                                         "', not the stored agent_did '" + own->agent_did() +
                                         "' \xe2\x80\x94 the seed does not correspond to the stored did:key (use "
                                         "from_seed_did_key, or pass the seed that owns this DID)");
}

TEST_P(Identity, OtherDidsAreTakenAsStored) {
  // Only the exact lowercase prefix marks a did:key.
  for (const char* did : {"did:web:a.example", "DID:KEY:zAbc", "did:key", ""}) {
    auto p = Producer::from_seed(GetParam(), kSeed, did, "any key id");
    ASSERT_TRUE(p);
    auto id = p->identity();
    ASSERT_TRUE(id) << did;
    EXPECT_EQ(id->agent_did, did);
    EXPECT_EQ(id->key_id, "any key id");
  }
}

INSTANTIATE_TEST_SUITE_P(Kinds, Identity, ::testing::Values(KeyKind::Ed25519, KeyKind::P256));

}  // namespace
}  // namespace zelq::producer
