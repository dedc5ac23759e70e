#include "tests/e2e/GatewayFixture.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <string>
#include <vector>

namespace e2e {
namespace {

const char kUsage[] =
    "Usage:\n"
    " korvexd -Dh\n"
    "  -D --daemon                      run as daemon\n"
    "  -p --port                        use this port\n"
    "     --disable-clock               disable clock control\n"
    "     --version                     print version\n"
    "  -h --help                        display this information\n"
    "\n";

TEST(CommandLine, LeavesBeforeServingWithTheRightStatus) {
  const struct {
    const char* name;
    std::vector<std::string> args;
    int status;
    std::string output;  // all of it, or a part of it when partial
    bool partial;
  } kCases[] = {
      {"help", {"--help"}, 0, kUsage, false},
      {"short help", {"-h"}, 0, kUsage, false},
      {"version", {"--version"}, 2, "server version: T250124-1901\n", false},
      {"version after a port", {"--port", "20002", "--version"}, 2, "server version: T250124-1901\n", false},
      {"unknown long option", {"--verbose"}, 2, kUsage, true},
      {"unknown short option", {"-x"}, 2, kUsage, true},
      {"the listed -p", {"-p", "20001"}, 2, kUsage, true},
      {"port without a number", {"--port"}, 2, kUsage, true},
      {"port above 65535", {"--port", "85537"}, 2, kUsage, true},
      {"port 0", {"--port", "0"}, 2, kUsage, true},
      {"port not a number", {"--port", "abc"}, 2, kUsage, true},
      {"port with trailing text", {"--port", "20001x"}, 2, kUsage, true},
      {"negative port", {"--port", "-1"}, 2, kUsage, true},
      {"port with a sign", {"--port", "+20001"}, 2, kUsage, true},
      {"empty port", {"--port", ""}, 2, kUsage, true},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    ServerProcess server;
    ASSERT_TRUE(server.Start(c.args));
    EXPECT_EQ(server.WaitExitCode(), c.status);
    if (c.partial) {
      EXPECT_NE(server.output().find(c.output), std::string::npos) << server.output();
    } else {
      EXPECT_EQ(server.output(), c.output);
    }
    EXPECT_EQ(server.output().find("Starting server"), std::string::npos);
  }
}

// The top port is outside the kernel's range for ephemeral ports, so no other
// test is given it.
TEST(CommandLine, ServesOnTheTopPort) {
  ServerProcess server;
  ASSERT_TRUE(server.Start({"--port", "65535"}));
  ASSERT_TRUE(server.WaitReady());
  EXPECT_TRUE(server.WaitForOutput("Starting server [T250124-1901], port=65535\n"));
  server.Signal(SIGTERM);
  EXPECT_EQ(server.WaitExitCode(), 0);
}

LGCP::Message ClockCfg(int seq) {
  LGCP::Message message = Command(seq, std::nullopt);
  LGCP::ClockCfg& config = message.get_pdu().get_command().select_clockCfg();
  config.set_clkSel0(LGCP::ClkSel0::internal);
  config.set_bextEn(LGCP::BExtEn::disabled);
  config.set_source(-1);
  return message;
}

using ClockOptionTest = GatewayFixture;

TEST_F(ClockOptionTest, DisableClockRefusesClockCommands) {
  ASSERT_TRUE(controller_.Send(ClockCfg(1)));
  ExpectNext(controller_, {1, std::nullopt, "success"});

  ServerProcess without_clock;
  ASSERT_TRUE(without_clock.StartServing({"--disable-clock"}));
  Controller controller(without_clock);
  ASSERT_TRUE(controller.Connect());
  ASSERT_TRUE(controller.Send(ClockCfg(2)));
  ExpectNext(controller, {2, std::nullopt, "error unsupported"});
  without_clock.Signal(SIGINT);
  EXPECT_EQ(without_clock.WaitExitCode(), 0);
}

}  // namespace
}  // namespace e2e
