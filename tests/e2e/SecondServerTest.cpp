#include "tests/e2e/GatewayFixture.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>

namespace e2e {
namespace {

std::set<std::string> Listing(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.insert(entry.path().filename().string() + " " + ReadFile(entry.path().string()));
  }
  return names;
}

// `make run` twice: the second server must leave at once, and the first keep
// its pid file, its board's control socket, its monitoring files and its
// controller.
TEST(SecondServer, OnTheSameBoardRootIsRefusedAndTheFirstRunsOn) {
  ServerProcess first;
  ASSERT_TRUE(first.StartServing());
  Controller controller(first);
  ASSERT_TRUE(controller.Connect());
  ASSERT_TRUE(controller.Sync());
  const std::string pid_file = first.Path("/var/run/server.pid");
  ASSERT_EQ(ReadFile(pid_file), std::to_string(first.pid()));
  const std::set<std::string> monitoring = Listing(first.Path("/var/monitoring"));
  ASSERT_FALSE(monitoring.empty());

  ServerProcess second(SameRootAs{first});
  ASSERT_TRUE(second.Start({"--port", std::to_string(second.port())}));
  EXPECT_EQ(second.WaitExitCode(), 1);
  EXPECT_EQ(second.output(), "board root " + first.Path("") + "\nanother server (pid " + std::to_string(first.pid()) +
                                 ") holds " + pid_file + ": not starting\n");

  EXPECT_EQ(ReadFile(pid_file), std::to_string(first.pid()));
  SimBoard board(first);
  ASSERT_TRUE(board.Connect());
  EXPECT_EQ(board.Ask("/dev/hal opens").rfind("ok ", 0), 0u);
  EXPECT_EQ(Listing(first.Path("/var/monitoring")), monitoring);
  EXPECT_TRUE(controller.Sync());

  first.Signal(SIGTERM);
  EXPECT_EQ(first.WaitExitCode(), 0) << first.output();
  EXPECT_FALSE(std::filesystem::exists(pid_file));
}

// A pid file left by a server that was killed, its pid since taken by another
// program (this test's own process), does not stop the next start.
TEST(SecondServer, StartsOverAPidFileThatNoServerHolds) {
  ServerProcess server;
  std::ofstream(server.Path("/var/run/server.pid")) << getpid();
  ASSERT_TRUE(server.StartServing());
  EXPECT_EQ(ReadFile(server.Path("/var/run/server.pid")), std::to_string(server.pid()));
  server.Signal(SIGTERM);
  EXPECT_EQ(server.WaitExitCode(), 0) << server.output();
}

}  // namespace
}  // namespace e2e
