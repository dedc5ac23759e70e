#include "runtime/clock/Mux.h"

#include "platform/Clock.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace {

bool operator==(const Mux::timeval& a, const Mux::timeval& b) {
  return a.tv_sec == b.tv_sec && a.tv_usec == b.tv_usec;
}

class MuxClock : public ::testing::Test {
 protected:
  void TearDown() override {
    Mux::g_tv_time = {0, 0};
    platform::clock_control::Release();
  }
};

TEST(MuxArithmetic, AddAndSubtractNormaliseMicroseconds) {
  const struct {
    const char* name;
    Mux::timeval a, b, sum, difference;
  } kCases[] = {
      {"borrow on subtract", {1, 0}, {0, 500000}, {1, 500000}, {0, 500000}},
      {"carry on add", {2, 700000}, {1, 400000}, {4, 100000}, {1, 300000}},
      {"exact second", {0, 999999}, {0, 1}, {1, 0}, {0, 999998}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    Mux::timeval out{};
    Mux::timevaladd2(c.a, c.b, out);
    EXPECT_TRUE(out == c.sum);
    Mux::timevalsub2(c.a, c.b, out);
    EXPECT_TRUE(out == c.difference);
    Mux::timeval in_place = c.a;
    Mux::timevalsub(in_place, c.b);
    EXPECT_TRUE(in_place == c.difference);
  }
}

TEST(MuxArithmetic, DiffRoundsTowardsZeroAndNeverGoesNegative) {
  const struct {
    const char* name;
    Mux::timeval a, b;
    int64_t ms;
  } kCases[] = {
      {"whole seconds", {10, 0}, {12, 0}, 2000},
      {"sub-millisecond part dropped", {10, 0}, {10, 1999}, 1},
      {"microsecond part divided on its own", {10, 999000}, {11, 500}, 2},
      {"b earlier than a", {12, 0}, {10, 0}, 0},
      {"b earlier by microseconds", {10, 900}, {10, 100}, 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Mux::timevaldiff(c.a, c.b), c.ms);
  }
}

TEST_F(MuxClock, MillisecondsWrapAfterTwoToThe32) {
  // 2^32 ms = 4294967.296 s: one millisecond before and after the wrap.
  platform::clock_control::Freeze(timeval{4294967, 295000});
  EXPECT_EQ(Mux::milliseconds(), 0xFFFFFFFFu);
  uint32_t before = Mux::milliseconds();
  platform::clock_control::Advance(2);
  EXPECT_EQ(Mux::milliseconds(), 1u);
  EXPECT_GT(static_cast<int32_t>(Mux::milliseconds() - before), 0);
}

TEST(MuxSet, RefusesDescriptorsAnFdSetCannotHold) {
  Mux::Set set;
  EXPECT_FALSE(set.add(-1));
  EXPECT_FALSE(set.add(FD_SETSIZE));
  EXPECT_EQ(set.max, -1);
  ASSERT_TRUE(set.add(FD_SETSIZE - 1));
  EXPECT_EQ(set.max, FD_SETSIZE - 1);
  EXPECT_TRUE(set.isset(FD_SETSIZE - 1));
  EXPECT_FALSE(set.isset(FD_SETSIZE));
}

}  // namespace
