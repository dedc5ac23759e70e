#include "platform/BoardPath.h"
#include "platform/Clock.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace platform {
namespace {

TEST(Clock, FrozenClockMovesOnlyWhenAdvanced) {
  clock_control::Freeze(timeval{100, 999500});
  timeval tv{};
  GetTimeOfDay(&tv);
  EXPECT_EQ(tv.tv_sec, 100);
  EXPECT_EQ(tv.tv_usec, 999500);

  clock_control::Advance(1);
  GetTimeOfDay(&tv);
  EXPECT_EQ(tv.tv_sec, 101);
  EXPECT_EQ(tv.tv_usec, 500);
  clock_control::Release();
}

TEST(BoardPath, PrefixesRootFromEnvironment) {
  setenv("GATEWAY_ROOT", "/tmp/board/", 1);
  EXPECT_EQ(BoardPath("/usr/local/etc/server.conf"), "/tmp/board/usr/local/etc/server.conf");
  unsetenv("GATEWAY_ROOT");
  EXPECT_EQ(BoardPath("/dev/hal"), "/dev/hal");
}

}  // namespace
}  // namespace platform
