#include <gtest/gtest.h>

#include "core/sha256.hpp"

namespace {

TEST(Sha256, KnownVectors) {
  EXPECT_EQ(zelq::sha256_text_of(std::string_view{}),
            "sha256:e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(zelq::sha256_text_of(std::string_view{"abc"}),
            "sha256:ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  auto d = zelq::sha256(std::string_view{"abc"});
  EXPECT_EQ(d[0], 0xba);
  EXPECT_EQ(d[31], 0xad);
}

}  // namespace
