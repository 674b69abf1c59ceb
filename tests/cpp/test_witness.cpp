// What the Python surface cannot reach: time differences at the ends of the
// kept year range and at the extremes of a 64-bit second count; the record
// reading rules of the witnessed checkpoint on both roads; a P-256 identity
// minting (the method always mints with Ed25519).
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "core/codec.hpp"
#include "core/json/reader.hpp"
#include "core/timestamp.hpp"
#include "core/json/record.hpp"
#include "registry/cosignature_record.hpp"
#include "registry/witness_mint.hpp"
#include "test_helpers.hpp"

namespace zelq {
namespace {

UtcTime at(std::string_view text) { return *parse_rfc3339(text); }

TEST(TimeDifference, ExtremesNeitherOverflowNorWrap) {
  constexpr auto kMax = std::numeric_limits<std::int64_t>::max();
  constexpr auto kMin = std::numeric_limits<std::int64_t>::min();
  const UtcTime lo = *UtcTime::from_civil(UtcTime::kMinYear, 1, 1, 0, 0, 0, 0);
  const UtcTime hi = *UtcTime::from_civil(UtcTime::kMaxYear, 12, 31, 23, 59, 60, 999'999'999);
  EXPECT_FALSE(later_by_more_than(hi, lo, kMax));
  EXPECT_TRUE(later_by_more_than(hi, lo, kMin));
  EXPECT_FALSE(later_by_more_than(lo, hi, 0));
  EXPECT_TRUE(later_by_more_than(lo, hi, kMin));
  EXPECT_EQ(whole_seconds_between(hi, lo), -whole_seconds_between(lo, hi));
  EXPECT_GT(whole_seconds_between(hi, lo), 16'000'000'000'000);
}

TEST(TimeDifference, FractionsAndLeapSeconds) {
  const UtcTime now = at("2026-01-01T00:00:00.000Z");
  EXPECT_EQ(whole_seconds_between(at("2025-12-31T23:59:59.500Z"), now), 0);
  EXPECT_EQ(whole_seconds_between(now, at("2025-12-31T23:59:58.500Z")), 1);
  EXPECT_FALSE(later_by_more_than(at("2026-01-01T00:00:01.000Z"), now, 1));
  EXPECT_TRUE(later_by_more_than(at("2026-01-01T00:00:01.000000001Z"), now, 1));
  // 23:59:60.5 runs half a second into the next day.
  EXPECT_EQ(whole_seconds_between(at("2017-01-01T00:00:01Z"), at("2016-12-31T23:59:60.5Z")), 0);
  EXPECT_TRUE(later_by_more_than(at("2016-12-31T23:59:60.5Z"), at("2016-12-31T23:59:59Z"), 1));
}

TEST(WitnessedCheckpointRecord, MemberRules) {
  struct Case {
    const char* json;
    const char* outcome;
  } cases[] = {
      {R"({"log_id":"l","tree_size":18446744073709551615,"root_hash":"h","timestamp":"2026-01-01T01:00:00+01:00"})",
       "ok"},
      {R"(["l",0,"h","2026-01-01T00:00:00Z"])", "ok"},
      {R"({"log_id":"l","tree_size":1,"root_hash":"h","timestamp":5})", "invalid type: integer `5`, expected a string"},
      {R"(["l",0,"h"])", "invalid length 3, expected struct WitnessedCheckpoint with 4 elements"},
      {R"("x")", "invalid type: string \"x\", expected struct WitnessedCheckpoint"},
  };
  for (const auto& c : cases) {
    auto r = json::read_record(*json::parse(c.json), registry::kWitnessedCheckpointRecord);
    EXPECT_EQ(r.ok() ? std::string("ok") : r.error().message, c.outcome) << c.json;
  }
  auto text = json::parse_record(R"({"log_id":"l","tree_size":2.5,"root_hash":"h","timestamp":""})",
                                 registry::kWitnessedCheckpointRecord);
  EXPECT_EQ(text.error().display(), "invalid type: floating point `2.5`, expected u64 at line 1 column 29");
}

TEST(WitnessMint, AP256IdentitySignsTheDigestOfWhatItWrites) {
  const crypto::ProducerIdentity id{
      crypto::ProducerKey(*crypto::p256_signing_key_from_bytes(testing::unhex_array<32>(std::string(63, '1') + "2"))),
      "did:web:w.example", "did:web:w.example#p"};
  const registry::WitnessedCheckpoint cp{"did:web:r.example/log/a", 3, "sha256:" + std::string(64, 'e'),
                                         at("2026-01-01T00:00:00.0009Z")};
  const json::Value cosig = *json::parse(registry::build_witness_cosignature_core(id, cp, at("2026-01-01T00:00:01Z")));
  const json::Value& sig = *cosig.get("signature");
  EXPECT_EQ(sig.get("algorithm")->as_string(), "ecdsa-p256");
  EXPECT_EQ(sig.get("key_id")->as_string(), "did:web:w.example#p");
  EXPECT_EQ(cosig.get("witnessed_checkpoint")->get("timestamp")->as_string(), "2026-01-01T00:00:00.000Z");
  const std::string digest = *registry::cosignature_signing_digest(cosig);
  EXPECT_TRUE(crypto::verify_p256(id.key.p256()->public_uncompressed(), sig.get("value")->as_string(), digest).ok());
}

}  // namespace
}  // namespace zelq
