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
      // The option parser's own test walks the bad ports.
      {"help", {"--help"}, 0, kUsage, false},
      {"version", {"--version"}, 2, "server version: T250124-1901\n", false},
      {"unknown option", {"--verbose"}, 2, kUsage, true},
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
