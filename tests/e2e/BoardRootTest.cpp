#include "tests/e2e/GatewayFixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace e2e {
namespace {

// The board root that make run prepares, stand-ins of the child programs
// included: a query finds the RTP channels the simulated board takes and the
// T.38 program's instances, and no child program fails to start.
TEST(PreparedBoardRoot, QueryFindsEveryResource) {
  ServerProcess server;
  const std::string prepare =
      std::string(BOARD_ROOT_SCRIPT) + " " + server.Path("") + " " + MODEM_PROGRAM_STANDIN + " " + T38_STANDIN_PATH;
  ASSERT_EQ(std::system(prepare.c_str()), 0);
  ASSERT_TRUE(server.StartServing());
  Controller controller(server);
  ASSERT_TRUE(controller.Connect());
  ASSERT_TRUE(controller.Sync());
  ASSERT_TRUE(controller.Send(Command(1, std::nullopt, [](LGCP::Command& c) { c.select_query(); })));
  ExpectNext(controller, {1, std::nullopt, "success"});
  LGCP::Message report;
  ASSERT_TRUE(controller.Read(report));
  ASSERT_TRUE(report.get_pdu().is_signal() && report.get_pdu().get_signal().is_query());
  const LGCP::Resources& resources = report.get_pdu().get_signal().get_query();
  EXPECT_EQ(resources.get_rtp_g711().getValue(), 1024);
  EXPECT_EQ(resources.get_rtp_g729().getValue(), 1024);
  EXPECT_EQ(resources.get_t38_instances().getValue(), 4);
  ASSERT_TRUE(controller.Sync());
  EXPECT_EQ(server.output().find("fail to exec"), std::string::npos) << server.output();
  EXPECT_EQ(server.output().find("can't detect"), std::string::npos) << server.output();
  // The framers' status files say what trunkStatus reports: the simulated
  // framers' own status, which they write out when set, here to itself.
  const std::string framer = ReadFile(server.Path("/proc/driver/hdlc/peb22554/0"));
  SimBoard board(server);
  ASSERT_TRUE(board.Connect());
  ASSERT_EQ(board.Ask("/dev/maintenance framer 0 0 0 0 0 0 0"), "ok");
  EXPECT_EQ(framer, "Framer 0\n" + ReadFile(server.Path("/proc/driver/hdlc/peb22554/0")));
  server.Signal(SIGTERM);
  EXPECT_EQ(server.WaitExitCode(), 0);
}

// Whether the file comes to start with head within 50 passes of the loop;
// every ping makes one.
bool AwaitFile(Controller& controller, const std::string& path, const std::string& head) {
  for (int attempt = 0; attempt < 50; ++attempt) {
    if (std::filesystem::exists(path) && ReadFile(path).rfind(head, 0) == 0) {
      return true;
    }
    if (!controller.Sync()) {
      return false;
    }
  }
  return false;
}

// A root named relative to the folder the server starts in stays that root
// after the server has moved to its configuration folder: the monitoring
// files, the status dump and the pid file's removal all land under it.
TEST(RelativeBoardRoot, IsTheSameRootThroughout) {
  ServerProcess server;
  server.use_relative_root();
  ASSERT_TRUE(server.StartServing());
  EXPECT_EQ(server.output().rfind("board root " + server.Path("") + "\n", 0), 0u) << server.output();
  Controller controller(server);
  ASSERT_TRUE(controller.Connect());
  SimBoard board(server);
  ASSERT_TRUE(board.Connect());
  // Past the first configuration check, which moves the server to the
  // configuration folder, and the next check of the DIP switches, which
  // writes their file.
  ASSERT_TRUE(board.AdvanceClock(2000));
  EXPECT_TRUE(AwaitFile(controller, server.Path("/var/monitoring/dip"), ""));

  server.Signal(SIGUSR2);
  EXPECT_TRUE(AwaitFile(controller, server.Path("/var/log/server-status"), "server status information.\n"));

  server.Signal(SIGTERM);
  EXPECT_EQ(server.WaitExitCode(), 0);
  EXPECT_FALSE(std::filesystem::exists(server.Path("/var/run/server.pid")));
  EXPECT_EQ(server.output().find("FAIL"), std::string::npos) << server.output();
}

}  // namespace
}  // namespace e2e
