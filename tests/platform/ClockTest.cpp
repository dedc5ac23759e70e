#include "platform/BoardPath.h"
#include "platform/Clock.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

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

// Only a relative root changes; no root stays the host's own paths.
TEST(BoardPath, AnchorsARelativeRootAtTheWorkingFolder) {
  const std::string folder = std::filesystem::current_path().string();
  const struct {
    const char* root;  // unset when null
    std::optional<std::string> anchored;
  } kCases[] = {
      {nullptr, std::nullopt},
      {"/tmp/board", "/tmp/board"},
      {"board", folder + "/board"},
      {"build/run/board/", folder + "/build/run/board/"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.root == nullptr ? "unset" : c.root);
    if (c.root == nullptr) {
      unsetenv("GATEWAY_ROOT");
    } else {
      setenv("GATEWAY_ROOT", c.root, 1);
    }
    ASSERT_TRUE(AnchorBoardRoot());
    const char* root = std::getenv("GATEWAY_ROOT");
    EXPECT_EQ(root == nullptr ? std::nullopt : std::optional<std::string>(root), c.anchored);
  }
  unsetenv("GATEWAY_ROOT");
}

}  // namespace
}  // namespace platform
