// The object index against keys chosen to collide. The generator finds keys
// whose unkeyed std::hash values share their low bits, the attack that made
// an index on that hash quadratic; with a keyed hash they are ordinary keys,
// and building an object of them grows about linearly.
#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "core/json/reader.hpp"
#include "core/json/value.hpp"

namespace {

// `n` distinct keys whose std::hash agrees in its low `bits` bits.
std::vector<std::string> colliding_keys(std::size_t n, int bits) {
  const std::size_t mask = (std::size_t{1} << bits) - 1;
  std::vector<std::string> keys;
  char buf[24] = {'k'};
  for (std::uint64_t i = 0; keys.size() < n; ++i) {
    const std::string_view k(buf, static_cast<std::size_t>(std::to_chars(buf + 1, buf + sizeof buf, i).ptr - buf));
    if ((std::hash<std::string_view>{}(k) & mask) == 0) keys.emplace_back(k);
  }
  return keys;
}

std::string object_text(const std::vector<std::string>& keys, std::size_t n) {
  std::string text = "{";
  for (std::size_t i = 0; i < n; ++i) text += (i ? ",\"" : "\"") + keys[i] + "\":0";
  return text + "}";
}

double seconds_to_read(const std::string& text) {
  double best = 1e9;
  for (int round = 0; round < 9; ++round) {
    const auto t0 = std::chrono::steady_clock::now();
    auto v = zelq::json::parse(text);
    const auto t1 = std::chrono::steady_clock::now();
    EXPECT_TRUE(v.ok());
    best = std::min(best, std::chrono::duration<double>(t1 - t0).count());
  }
  return best;
}

TEST(HashFlooding, KeysCollidingUnderAnUnkeyedHashCostLinearTime) {
  // 16,384 members index into 32,768 slots: 10 shared low bits send every
  // key to one of 32 slots under the unkeyed hash, where linear probing
  // piles them up.
  const auto keys = colliding_keys(16384, 10);
  const double small = seconds_to_read(object_text(keys, 8192));
  const double large = seconds_to_read(object_text(keys, 16384));
  // Quadratic growth would give 4; allow for noise above the linear 2.
  EXPECT_LT(large / small, 3.0) << small << " s for 8,192 keys, " << large << " s for 16,384";
  std::printf("[ hash flooding ] 8,192 colliding keys %.2f ms, 16,384 %.2f ms, ratio %.2f\n", small * 1e3,
              large * 1e3, large / small);
}

TEST(HashFlooding, ObjectKeepsOrderAndLastValueOfRepeatedKeys) {
  const auto keys = colliding_keys(64, 8);
  std::string text = object_text(keys, 64);
  text.pop_back();
  text += ",\"" + keys[3] + "\":7}";
  auto v = zelq::json::parse(text);
  ASSERT_TRUE(v.ok());
  const auto& members = v->as_object().members();
  ASSERT_EQ(members.size(), 64u);
  for (std::size_t i = 0; i < 64; ++i) EXPECT_EQ(members[i].key, keys[i]);
  EXPECT_EQ(v->as_object().find(keys[3])->as_u64(), 7u);
  zelq::json::Object copy = v->as_object();
  EXPECT_TRUE(copy.remove(keys[0]));
  for (std::size_t i = 1; i < 64; ++i) EXPECT_NE(copy.find(keys[i]), nullptr) << keys[i];
}

TEST(HashFlooding, SipHashVector) {
  // SipHash-2-4, key 00..0f, message 00..0e: the algorithm's published vector.
  std::string msg;
  for (char c = 0; c < 15; ++c) msg.push_back(c);
  EXPECT_EQ(zelq::json::keyed_hash_for_tests(msg, 0x0706050403020100ULL, 0x0f0e0d0c0b0a0908ULL),
            0xa129ca6149be45e5ULL);
}

}  // namespace
