#include "tests/e2e/GatewayFixture.h"
#include "tests/monitoring/FakeAgent.h"

#include <gtest/gtest.h>

#include <poll.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace e2e {
namespace {

LGCP::Message Display(int seq) {
  return Command(seq, std::nullopt, [](LGCP::Command& c) { c.select_display(); });
}

LGCP::Message FramerLed(int seq, int e1, bool link, bool value) {
  LGCP::Message message = Display(seq);
  LGCP::FramerInfo& framer = message.get_pdu().get_command().get_display().select_framer();
  framer.set_e1(e1);
  (link ? framer.get_info().select_link() : framer.get_info().select_line()).setValue(value);
  return message;
}

// A served server whose configuration names one fake agent (vost) and whose
// board has E1 framer 1; the agent's link is up when the test starts.
class MonitoringTest : public testing::Test {
 protected:
  void SetUp() override {
    std::ofstream(server_.Path("/usr/local/etc/server.conf"))
        << "[snmpagent]\nhost = " << agent_.host() << "\nname = vost\n";
    std::filesystem::create_directories(server_.Path("/proc/driver/hdlc/peb22554"));
    std::ofstream(server_.Path("/proc/driver/hdlc/peb22554/0")).flush();
    ASSERT_TRUE(server_.StartServing());
    ASSERT_TRUE(controller_.Connect());
    ASSERT_TRUE(controller_.Sync());
    ASSERT_TRUE(board_.Connect());
    ASSERT_TRUE(AcceptAgent());
  }

  bool AcceptAgent() {
    while (!agent_.Accept()) {
      if ((server_.Wait(agent_.listener(), POLLIN) & POLLIN) == 0) {
        ADD_FAILURE() << "the server did not connect to the agent:\n" << server_.output();
        return false;
      }
    }
    received_.clear();
    return true;
  }
  // Reads what the agent receives until text shows in it; each message one
  // line as the fake agent decodes it.
  bool AwaitAgent(const std::string& text) {
    for (;;) {
      for (const std::string& payload : agent_.Payloads()) {
        received_ += agent_test::Decode(payload).value_or("?") + "\n";
      }
      if (received_.find(text) != std::string::npos) {
        return true;
      }
      if (agent_.closed() || (server_.Wait(agent_.connection(), POLLIN) & POLLIN) == 0) {
        ADD_FAILURE() << "no " << text << " for the agent; it received:\n" << received_;
        return false;
      }
    }
  }

  agent_test::FakeAgent agent_;
  ServerProcess server_;
  Controller controller_{server_};
  SimBoard board_{server_};
  std::string received_;
};

TEST_F(MonitoringTest, AgentFollowsTheBoardAndTheControllerReports) {
  // The connect's full resend, the framer among it.
  // The resend may take more than one message: wait for the item itself. Its
  // value depends on whether the E1 status cycle ran before the resend.
  ASSERT_TRUE(AwaitAgent("gatewayCommon.softwareBuild[0]="));
  EXPECT_TRUE(AwaitAgent(" e1Table.e1StatusDsc[1]=")) << received_;

  LGCP::Message set = Display(1);
  MON::SnmpSetCommand command;
  command.set_uniq(77);
  MON::IniName& name = command.get_id().select_name();
  name.set_section("sec");
  name.set_name("item");
  name.set_index(1);
  command.set_value("v");
  set.get_pdu().get_command().get_display().select_snmp_set().get_commands().push_back(command);
  ASSERT_TRUE(controller_.Send(set));
  ExpectNext(controller_, {1, std::nullopt, "success"});
  EXPECT_TRUE(AwaitAgent("set{77 sec.item[1]=v}"));
  EXPECT_EQ(ReadFile(server_.Path("/var/monitoring/sec/1/item")), "v");

  // The connect opened "/dev/hal" with all LEDs off.
  ASSERT_TRUE(controller_.Send(FramerLed(2, 0, false, true)));
  ExpectNext(controller_, {2, std::nullopt, "success"});
  ASSERT_TRUE(controller_.Send(FramerLed(3, 0, true, true)));
  ExpectNext(controller_, {3, std::nullopt, "success"});
  EXPECT_EQ(board_.Ask("/dev/hal leds"), "ok 000302");

  EXPECT_EQ(board_.Ask("/dev/hal power 2"), "ok");
  ASSERT_TRUE(board_.AdvanceClock(2000));
  EXPECT_TRUE(AwaitAgent(" gatewayCommon.powerStatus[0]=2"));
  ASSERT_TRUE(controller_.Sync());
  EXPECT_EQ(controller_.PowerSignals().back(), LGCP::POWERStatus::main);

  // The E1 service's trunk status reaches the framer; the status file tells the same.
  EXPECT_EQ(board_.Ask("/dev/maintenance framer 0 2 0 0 1 0 0"), "ok");
  ASSERT_TRUE(board_.AdvanceClock(1000));
  EXPECT_TRUE(AwaitAgent(" e1Table.e1StatusDsc[1]=No Carrier"));

  server_.Signal(SIGTERM);
  EXPECT_EQ(server_.WaitExitCode(), 0) << server_.output();
  EXPECT_FALSE(std::filesystem::exists(server_.Path("/var/monitoring/powerstatus")));
}

TEST_F(MonitoringTest, SilentAgentIsDroppedAndReconnected) {
  ASSERT_TRUE(AwaitAgent("gatewayCommon.softwareBuild[0]="));
  // Past the 30 s of silence the next send drops the link; it comes back 10 s
  // after the drop, which the link reports once its retry is set.
  const size_t offset = server_.output().size();
  ASSERT_TRUE(board_.AdvanceClock(31000));
  ASSERT_TRUE(server_.WaitForOutput(": ping timeout !!!", offset));
  ASSERT_TRUE(server_.WaitForOutput(": connection lost, reset snmpagent instance", offset));
  ASSERT_TRUE(board_.AdvanceClock(10000));
  ASSERT_TRUE(AcceptAgent());
  EXPECT_TRUE(AwaitAgent("gatewayCommon.softwareBuild[0]="));
  server_.Signal(SIGTERM);
  EXPECT_EQ(server_.WaitExitCode(), 0) << server_.output();
}

}  // namespace
}  // namespace e2e
