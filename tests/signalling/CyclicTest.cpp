#include "signalling/Cyclic.h"

#include <gtest/gtest.h>

#include <array>

namespace {

using Seq = Cyclic<unsigned int, 127u>;

TEST(Cyclic, WindowTestMatchesCountingForward) {
  // Counting forward from a, one step at a time, is the window's meaning.
  for (unsigned a = 0; a < 128; ++a) {
    for (unsigned c = 0; c < 128; ++c) {
      std::array<bool, 128> inside{};
      for (unsigned v = a;; v = (v + 1) % 128) {
        inside[v] = true;
        if (v == c) {
          break;
        }
      }
      for (unsigned b = 0; b < 128; ++b) {
        if ((Seq(a) <= Seq(b) <= Seq(c)) != inside[b]) {
          FAIL() << a << " <= " << b << " <= " << c;
        }
      }
    }
  }
  EXPECT_TRUE(Seq(5) <= Seq(5) <= Seq(5));
  EXPECT_TRUE(Seq(120) <= Seq(3) <= Seq(5));
  EXPECT_FALSE(Seq(5) <= Seq(3) <= Seq(120));
  EXPECT_TRUE(Seq(7) <= Seq(7) <= Seq(6));
  EXPECT_FALSE(Seq(7) <= Seq(6) <= Seq(7));
}

}  // namespace
