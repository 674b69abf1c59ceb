// The Merkle cores against tree hashes and proofs built here straight from
// the recursive definitions (MTH, PATH, SUBPROOF), for every tree size up to
// 64 and every index and size pair.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/sha256.hpp"
#include "registry/merkle.hpp"

namespace {

using zelq::Digest32;
using namespace zelq::registry;

std::string raw(const Digest32& d) { return std::string(d.begin(), d.end()); }
Digest32 node(const Digest32& l, const Digest32& r) { return zelq::sha256("\x01" + raw(l) + raw(r)); }

std::size_t split(std::size_t n) {
  std::size_t k = 1;
  while (k * 2 < n) k *= 2;
  return k;
}

using Leaves = std::vector<Digest32>;
Leaves slice(const Leaves& d, std::size_t a, std::size_t b) { return Leaves(d.begin() + a, d.begin() + b); }

Digest32 mth(const Leaves& d) {
  if (d.empty()) return zelq::sha256(std::string_view{});
  if (d.size() == 1) return d[0];
  const std::size_t k = split(d.size());
  return node(mth(slice(d, 0, k)), mth(slice(d, k, d.size())));
}

Leaves path(std::size_t m, const Leaves& d) {
  if (d.size() <= 1) return {};
  const std::size_t k = split(d.size());
  Leaves p = m < k ? path(m, slice(d, 0, k)) : path(m - k, slice(d, k, d.size()));
  p.push_back(m < k ? mth(slice(d, k, d.size())) : mth(slice(d, 0, k)));
  return p;
}

Leaves subproof(std::size_t m, const Leaves& d, bool whole) {
  const std::size_t n = d.size();
  if (m == n) return whole ? Leaves{} : Leaves{mth(d)};
  const std::size_t k = split(n);
  Leaves p = m <= k ? subproof(m, slice(d, 0, k), whole) : subproof(m - k, slice(d, k, n), false);
  p.push_back(m <= k ? mth(slice(d, k, n)) : mth(slice(d, 0, k)));
  return p;
}

Leaves make_leaves(std::size_t n) {
  Leaves d;
  for (std::size_t i = 0; i < n; ++i) d.push_back(merkle_leaf_hash("leaf " + std::to_string(i)));
  return d;
}

// Bits to flip in entry `e` of a proof: all of them for small trees, a
// spread of nine for the rest.
std::vector<int> bits_to_flip(std::size_t n, std::size_t e) {
  std::vector<int> bits;
  for (int b = 0; b < 256; ++b)
    if (n <= 8 || (b * 7 + static_cast<int>(e)) % 29 == 0) bits.push_back(b);
  return bits;
}

TEST(Merkle, TreeHashMatchesDefinition) {
  const Leaves d = make_leaves(64);
  for (std::size_t n = 0; n <= 64; ++n) EXPECT_EQ(merkle_tree_hash(slice(d, 0, n)), mth(slice(d, 0, n))) << n;
  EXPECT_EQ(merkle_leaf_hash(""), zelq::sha256(std::string_view("\x00", 1)));
}

TEST(Merkle, InclusionEveryIndexAndSizeAndEveryBitFlip) {
  const Leaves all = make_leaves(64);
  for (std::size_t n = 1; n <= 64; ++n) {
    const Leaves d = slice(all, 0, n);
    const Digest32 root = mth(d);
    for (std::size_t m = 0; m < n; ++m) {
      Leaves p = path(m, d);
      ASSERT_TRUE(verify_inclusion_path(m, n, d[m], p, root)) << m << "/" << n;
      if (m + 1 < n) {
        EXPECT_FALSE(verify_inclusion_path(m + 1, n, d[m], p, root));
      }
      Leaves longer = p;
      longer.push_back(root);
      EXPECT_FALSE(verify_inclusion_path(m, n, d[m], longer, root));
      if (!p.empty()) {
        EXPECT_FALSE(verify_inclusion_path(m, n, d[m], slice(p, 0, p.size() - 1), root));
      }
      for (std::size_t e = 0; e < p.size(); ++e) {
        for (int b : bits_to_flip(n, e)) {
          p[e][b / 8] ^= static_cast<std::uint8_t>(1u << (b % 8));
          EXPECT_FALSE(verify_inclusion_path(m, n, d[m], p, root)) << m << "/" << n << " bit " << b;
          p[e][b / 8] ^= static_cast<std::uint8_t>(1u << (b % 8));
        }
      }
    }
  }
  EXPECT_FALSE(verify_inclusion_path(0, 0, all[0], {}, all[0]));
  EXPECT_FALSE(verify_inclusion_path(~0ull, ~0ull, all[0], {}, all[0]));
}

TEST(Merkle, ConsistencyEverySizePairAndEveryBitFlip) {
  const Leaves all = make_leaves(64);
  for (std::size_t n = 1; n <= 64; ++n) {
    const Leaves d = slice(all, 0, n);
    const Digest32 second = mth(d);
    EXPECT_FALSE(verify_consistency_proof(0, n, {}, mth({}), second));
    for (std::size_t m = 1; m <= n; ++m) {
      const Digest32 first = mth(slice(d, 0, m));
      Leaves p = subproof(m, d, true);
      ASSERT_TRUE(verify_consistency_proof(m, n, p, first, second)) << m << "/" << n;
      EXPECT_FALSE(verify_consistency_proof(n, m == n ? n + 1 : m, p, second, first));
      Leaves longer = p;
      longer.push_back(second);
      EXPECT_FALSE(verify_consistency_proof(m, n, longer, first, second));
      if (!p.empty()) {
        EXPECT_FALSE(verify_consistency_proof(m, n, slice(p, 0, p.size() - 1), first, second));
      }
      for (std::size_t e = 0; e < p.size(); ++e) {
        for (int b : bits_to_flip(n, e)) {
          p[e][b / 8] ^= static_cast<std::uint8_t>(1u << (b % 8));
          EXPECT_FALSE(verify_consistency_proof(m, n, p, first, second)) << m << "/" << n << " bit " << b;
          p[e][b / 8] ^= static_cast<std::uint8_t>(1u << (b % 8));
        }
      }
    }
  }
  // Equal sizes: only an empty path and equal roots, even for empty trees.
  const Digest32 r = mth({});
  EXPECT_TRUE(verify_consistency_proof(0, 0, {}, r, r));
  EXPECT_FALSE(verify_consistency_proof(0, 0, Leaves{r}, r, r));
  EXPECT_FALSE(verify_consistency_proof(5, 5, {}, r, all[0]));
  EXPECT_FALSE(verify_consistency_proof(~0ull, ~0ull - 1, Leaves{r}, r, r));
}

}  // namespace
