#include <gtest/gtest.h>

#include <array>

#include "core/sha256.hpp"

namespace {

TEST(Sha256, KnownVectorsFromTextAndBytes) {
  EXPECT_EQ(zelq::sha256_prefixed(std::string_view{}),
            "sha256:e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  const std::array<std::uint8_t, 3> abc = {'a', 'b', 'c'};
  EXPECT_EQ(zelq::sha256_prefixed(abc), "sha256:ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(zelq::sha256(abc), zelq::sha256(std::string_view{"abc"}));
}

}  // namespace
