#include "tests/e2e/GatewayFixture.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <cstdlib>
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

// A server on a root of its own whose controller port and dial-in
// authentication port another server holds: each waiting line names what it
// waits for, and how to move the authentication port.
TEST(SecondServer, OnTakenPortsNamesThem) {
  ServerProcess first;
  ASSERT_TRUE(first.StartServing());
  // Any free port was asked for: the one taken is logged.
  const std::string listens = "auth socket listens on 127.0.0.1:";
  ASSERT_TRUE(first.WaitForOutput(listens));
  const size_t at = first.output().find(listens) + listens.size();
  const std::string auth_port = first.output().substr(at, first.output().find('\n', at) - at);
  ASSERT_NE(std::atoi(auth_port.c_str()), 0) << first.output();

  ServerProcess second;
  second.set_port(first.port());
  setenv("GATEWAY_AUTH_PORT", auth_port.c_str(), 1);
  const bool serving = second.StartServing();
  unsetenv("GATEWAY_AUTH_PORT");
  ASSERT_TRUE(serving);
  EXPECT_TRUE(second.WaitForOutput("can't bind to socket: \"Address already in use\"  waiting... on 0.0.0.0:" +
                                   std::to_string(first.port()) + "\n"));
  EXPECT_TRUE(second.WaitForOutput("fail to bind auth socket: Address already in use on 127.0.0.1:" + auth_port +
                                   " (GATEWAY_AUTH_PORT gives another port, 0 any free one)\n"));
  second.Signal(SIGTERM);
  EXPECT_EQ(second.WaitExitCode(), 0) << second.output();
  first.Signal(SIGTERM);
  EXPECT_EQ(first.WaitExitCode(), 0) << first.output();
}

}  // namespace
}  // namespace e2e
