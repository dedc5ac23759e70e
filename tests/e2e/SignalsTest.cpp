#include "tests/e2e/GatewayFixture.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace e2e {
namespace {

using SignalsTest = GatewayFixture;

constexpr int kAttempts = 50;

TEST_F(SignalsTest, HangUpSendsTheResourceReport) {
  server_.Signal(SIGHUP);
  ExpectNext(controller_, {std::nullopt, std::nullopt, "query"});
  EXPECT_TRUE(server_.WaitForOutput("update hardware resources\n"));
  EXPECT_TRUE(controller_.Sync());
}

TEST_F(SignalsTest, EachUser2RewritesTheStatusFileFromTheStart) {
  const std::string path = server_.Path("/var/log/server-status");
  const std::string kHead = "server status information.\nversion : T250124-1901\n";
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    // Longer than any dump: a file not truncated would keep its tail.
    std::ofstream(path) << std::string(100000, '~');
    server_.Signal(SIGUSR2);
    // The signal is acted on in a later pass of the loop; every ping makes one.
    std::string status;
    for (int attempt = 0; attempt < kAttempts && status.rfind(kHead, 0) != 0; ++attempt) {
      ASSERT_TRUE(controller_.Sync());
      status = ReadFile(path);
    }
    EXPECT_EQ(status.rfind(kHead, 0), 0u) << status.substr(0, 200);
    EXPECT_NE(status.find("event transition measurement"), std::string::npos);
    EXPECT_EQ(status.find('~'), std::string::npos);
  }
}

// Every test of the fixture ends with SIGTERM; this one stops with SIGINT.
TEST_F(SignalsTest, InterruptStopsCleanlyAfterDestroyingEverySlot) {
  ASSERT_TRUE(controller_.Send(CreateTrunk(1, 5, 0, 5)));
  ASSERT_TRUE(controller_.Send(CreateTrunk(2, 6, 0, 6)));
  ASSERT_TRUE(controller_.Send(Connect(3, 5, 6)));
  ASSERT_TRUE(controller_.Sync());
  ASSERT_EQ(board_.Ask("/dev/hal output 6"), "ok source 5");

  server_.Signal(SIGINT);
  ASSERT_TRUE(server_.WaitForOutput("Mux: terminating...\n"));
  // The slots go at once; the server then waits a second before it closes the
  // controller's connection, while the board still answers.
  std::string output;
  for (int attempt = 0; attempt < kAttempts && output != "ok constant 213"; ++attempt) {
    server_.Wait(-1, 0, 10);
    output = board_.Ask("/dev/hal output 6");
  }
  EXPECT_EQ(output, "ok constant 213");
  EXPECT_TRUE(controller_.WaitClosed());
  EXPECT_EQ(server_.WaitExitCode(), 0) << server_.output();
  EXPECT_FALSE(std::filesystem::exists(server_.Path("/var/run/server.pid")));
  // The line chips are switched off by a static destructor, after main: the
  // console still writes those lines, whole and in their order.
  const std::string& log = server_.output();
  const size_t stopping = log.find("Mux: terminating...\n");
  const size_t last = log.find("spi: disable channel 7\nspi: clock master disabled\n", stopping);
  ASSERT_NE(last, std::string::npos) << log;
  EXPECT_EQ(log.back(), '\n');
}

// A full disk, played by a file size limit of 0, and a link planted at the
// dump's path: each is said, and nothing cut off or behind the link is written.
TEST(StatusDump, FailedWritesAreSaidAndALinkIsNotFollowed) {
  ServerProcess server;
  server.set_before_exec(FullDisk);
  ASSERT_TRUE(server.StartServing());
  EXPECT_TRUE(
      server.WaitForOutput("can't write pid file " + server.Path("/var/run/server.pid") + ": File too large\n"));

  const std::string dump = server.Path("/var/log/server-status");
  const std::string target = server.Path("/etc-passwd");
  std::ofstream(target) << "kept";
  std::filesystem::create_symlink(target, dump);
  server.Signal(SIGUSR2);
  EXPECT_TRUE(server.WaitForOutput("dump status error: " + dump + ": Too many levels of symbolic links\n"));
  EXPECT_EQ(ReadFile(target), "kept");
  EXPECT_TRUE(std::filesystem::is_symlink(dump));

  std::filesystem::remove(dump);
  server.Signal(SIGUSR2);
  EXPECT_TRUE(server.WaitForOutput("dump status error: " + dump + ": File too large\n"));
  EXPECT_TRUE(std::filesystem::is_empty(server.Path("/var/log")));
  server.Signal(SIGTERM);
  EXPECT_EQ(server.WaitExitCode(), 0) << server.output();
}

TEST(Daemon, DetachesLogsToSysLogAndKeepsThePidFile) {
  ServerProcess server;
  ASSERT_TRUE(server.CaptureSysLog());
  ASSERT_TRUE(server.Start({"--daemon", "--port", std::to_string(server.port())}));
  EXPECT_EQ(server.WaitExitCode(), 0);
  ASSERT_TRUE(server.WaitReady());

  const pid_t daemon_pid = server.DaemonPid();
  ASSERT_GT(daemon_pid, 0);
  EXPECT_NE(daemon_pid, server.pid());
  // Standard output at notice level (29) under the daemon's ident.
  EXPECT_TRUE(server.WaitForSysLog(
      "kvd-T250124-1901: Starting server [T250124-1901], port=" + std::to_string(server.port()) + "\n"));
  EXPECT_EQ(server.syslog().rfind("<29>", 0), 0u) << server.syslog();

  Controller controller(server);
  ASSERT_TRUE(controller.Connect());
  EXPECT_TRUE(controller.Sync());

  EXPECT_TRUE(server.StopDaemon(daemon_pid));
  EXPECT_FALSE(std::filesystem::exists(server.Path("/var/run/server.pid")));
  // The log stream at debug level (31).
  EXPECT_TRUE(server.WaitForSysLog("kvd-T250124-1901: Mux: terminating...\n"));
  EXPECT_NE(server.syslog().find("<31>"), std::string::npos);
}

}  // namespace
}  // namespace e2e
