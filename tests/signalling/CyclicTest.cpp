#include "signalling/Cyclic.h"

#include <gtest/gtest.h>

#include <array>

namespace {

using Seq = Cyclic<unsigned int, 127u>;

TEST(Cyclic, ArithmeticStaysInRange) {
  Seq post = 127;
  const Seq before = post++;
  Seq pre_up = 127;
  Seq pre_down = 0;
  const struct {
    const char* name;
    unsigned got;
    unsigned want;
  } kCases[] = {
      {"from 128", Seq(128), 0},           {"from 300", Seq(300), 44},      {"127 + 1", Seq(127) + Seq(1), 0},
      {"0 - 1", Seq(0) - Seq(1), 127},     {"3 - 5", Seq(3) - Seq(5), 126}, {"prefix ++ on 127", ++pre_up, 0},
      {"prefix -- on 0", --pre_down, 127}, {"postfix ++ leaves", post, 0},  {"postfix ++ yields", before, 127},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.got, c.want);
  }
}

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
