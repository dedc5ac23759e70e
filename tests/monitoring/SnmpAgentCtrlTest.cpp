#include "monitoring/SnmpAgentCtrl.h"

#include "monitoring/ISnmpAgentNotify.h"
#include "monitoring/SnmpAgentInstance.h"
#include "runtime/clock/Mux.h"
#include "schemas/MON.h"
#include "tests/monitoring/FakeAgent.h"
#include "tests/support/ControlLoop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

namespace {

using agent_test::FakeAgent;
using control_test::FrozenClock;
using control_test::Logs;
using control_test::RunUntil;
using Messages = std::vector<std::string>;

class Owner : public ISnmpAgentNotify {
 public:
  void OnSnmpAgentConnect(const std::string& name) override { connects.push_back(name); }
  std::vector<std::string> connects;
};

// Agent links configured from text, the first one connected to a fake agent.
class AgentLinks {
 public:
  explicit AgentLinks(const std::string& config) {
    std::istringstream in(config);
    in >> file_;
    ctrl.CreateInstances(file_["snmpagent"]);
    ctrl.Bind(&owner);
  }
  // Waits for the first link's connection and takes it.
  bool Connect(FakeAgent& agent) {
    bool accepted = false;
    return RunUntil([&] { return accepted = accepted || agent.Accept(); }) &&
           RunUntil([&] { return ctrl.links()[0]->state() == 2; });
  }
  // A first item, as the owner sends on connect: its send arms the ping.
  void SendFirst(FakeAgent& agent) {
    ctrl.Send(SnmpAgentCtrl::gatewayDip, "0");
    EXPECT_EQ(Receive(agent, 2).size(), 2u);
  }
  // Runs the loop until the agent holds count more payloads; returns them.
  std::vector<std::string> ReceivePayloads(FakeAgent& agent, size_t count) {
    std::vector<std::string> all;
    EXPECT_TRUE(RunUntil([&] {
      for (const std::string& payload : agent.Payloads()) {
        all.push_back(payload);
      }
      return all.size() >= count;
    }));
    return all;
  }
  // The same, decoded by the agent ("?" for a payload that does not decode).
  Messages Receive(FakeAgent& agent, size_t count) {
    Messages messages;
    for (const std::string& payload : ReceivePayloads(agent, count)) {
      messages.push_back(agent_test::Decode(payload).value_or("?"));
    }
    return messages;
  }

  SnmpAgentCtrl ctrl;
  Owner owner;

 private:
  IniFile::File file_;
};

std::string Block(const std::string& host, const std::string& name = "vost") {
  return "[snmpagent]\nhost = " + host + "\nname = " + name + "\n";
}

TEST(SnmpAgentInstance, ReadsItsBlock) {
  const struct {
    const char* name;
    std::string config;
    bool linked;
    std::string header;
    int32_t address_type;
    std::string error;
  } kCases[] = {
      {"vost", Block("127.1.2.3:7000"), true, "snmpagent.vost 127.1.2.3:7000", 2, ""},
      {"lemzgw.kl", Block("127.1.2.3:7000", "lemzgw.kl"), true, "snmpagent.lemzgw.kl 127.1.2.3:7000", 4, ""},
      {"a number as name", Block("127.1.2.3:7000", "3"), true, "snmpagent.3 127.1.2.3:7000", 3, ""},
      {"no port", Block("127.1.2.3"), false, "", 2, ""},
      {"unknown name", Block("127.1.2.3:7000", "xyz"), false, "", 0,
       "snmpagent: required key \"name\" has invalid value=\"xyz\", line 3\n"},
      {"no host", "[snmpagent]\nname = vost\n", false, "", 0, "snmpagent: required key \"host\" not present, line 1\n"},
      {"a host name", Block("agent:7000"), false, "", 2, "snmpagent: invalid host value=\"agent:7000\"\n"},
      {"port 0", Block("127.1.2.3:0"), false, "", 2, "snmpagent: invalid host value=\"127.1.2.3:0\"\n"},
      {"port above 16 bits", Block("127.1.2.3:65537"), false, "", 2,
       "snmpagent: invalid host value=\"127.1.2.3:65537\"\n"},
      {"negative port", Block("127.1.2.3:-1"), false, "", 2, "snmpagent: invalid host value=\"127.1.2.3:-1\"\n"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    FrozenClock clock;
    Logs logs;
    AgentLinks links(c.config);
    ASSERT_EQ(links.ctrl.links().size(), 1u);
    const SnmpAgentInstance& link = *links.ctrl.links()[0];
    EXPECT_EQ(link.connector() != nullptr, c.linked);
    EXPECT_EQ(link.state(), c.linked ? 1 : 0);
    EXPECT_EQ(link.header(), c.header);
    EXPECT_EQ(link.address_type(), c.address_type);
    EXPECT_EQ(logs.Err(), c.error);
  }
}

TEST(SnmpAgentInstance, SendsEveryMessageKindToTheAgent) {
  FrozenClock clock;
  Logs logs;
  FakeAgent agent;
  // The second agent is never reached; sends to it go nowhere.
  AgentLinks links(Block(agent.host()) + Block("127.1.2.3"));
  ASSERT_TRUE(links.Connect(agent));
  EXPECT_EQ(links.owner.connects, std::vector<std::string>{"vost"});
  SnmpAgentCtrl& ctrl = links.ctrl;

  ctrl.Send(SnmpAgentCtrl::temperature, "40");
  ctrl.SendTrapsink({"a"});
  const std::vector<std::string> first = links.ReceivePayloads(agent, 2);
  // The trap sinks leave at once, the queue on the flush.
  // [pdu 00|ext 0|trapsink 01|ext 0|pad] [count 1] [ext 0|port absent 0|pad] [length 1] "a"
  EXPECT_EQ(first[0], std::string("\x08\x01\x00\x01", 4) + "a");
  // [pdu 00|ext 0|set 00|ext 0|pad] [count 1] [ext 0|pad] [uniq: 1 octet, 1]
  // [id ext 0|name 1|ext 0|pad] "gatewayCommon" "temperature" [index: 1 octet, 0] "40"
  EXPECT_EQ(first[1], std::string("\x00\x01\x00\x01\x01\x40\x0D", 7) + "gatewayCommon\x0Btemperature" +
                          std::string("\x01\x00\x02", 3) + "40");

  ctrl.Send(SnmpAgentCtrl::powerStatus, "1");
  EXPECT_EQ(links.Receive(agent, 2),
            (Messages{"set{2 gatewayCommon.powerStatus[0]=1}", "set{3 gatewayCommon.powerStatus[0]=1}"}));

  ctrl.Send(SnmpAgentCtrl::extBoardStatus, 3, "5");
  ctrl.Send(SnmpAgentCtrl::sgBuildVersion, "b7");
  ctrl.Send(SnmpAgentCtrl::extBoardType, -1, "7");
  ctrl.Send(static_cast<SnmpAgentCtrl::MonitoringItemType>(35), "not an item");
  EXPECT_EQ(links.Receive(agent, 2),
            (Messages{"set{4 extBoardTable.extBoardStatus[3]=5,6 extBoardTable.extBoardType[-1]=7}",
                      "set{5 statusGeneral.sgBuildVersion[0]=b7}"}));

  ctrl.SendTrapsink({});
  ctrl.Send(MON::SnmpSetCommands());
  ctrl.SendTrapsink({"10.0.0.1", "10.0.0.2"});
  MON::SnmpSetCommands commands;
  MON::SnmpSetCommand command;
  command.set_uniq(70000);
  command.get_id().select_oid() = "1.3.6.1";
  command.set_value("v");
  commands.get_commands().push_back(command);
  ctrl.Send(commands);
  EXPECT_EQ(links.Receive(agent, 2), (Messages{"trapsink{10.0.0.1,10.0.0.2}", "set{70000 oid:1.3.6.1=v}"}));

  clock.Advance(SnmpAgentInstance::kPingMs);
  // [pdu 00|ext 0|ping 11|pad]
  EXPECT_EQ(links.ReceivePayloads(agent, 1), std::vector<std::string>{"\x18"});
  EXPECT_EQ(logs.Err(), "");
}

TEST(SnmpAgentInstance, PingsAndDropsASilentAgentThenReconnects) {
  FrozenClock clock;
  Logs logs;
  FakeAgent agent;
  AgentLinks links(Block(agent.host()));
  ASSERT_TRUE(links.Connect(agent));
  const uint32_t connected_at = Mux::milliseconds();
  links.SendFirst(agent);
  const SnmpAgentInstance& link = *links.ctrl.links()[0];
  // The agent's one answer, 5000 ms after the connect, is its last sign of life.
  clock.Advance(5000);
  EXPECT_EQ(links.Receive(agent, 1), Messages{"ping"});
  agent.SendFrame("\x58");  // [pdu 01|ext 0|ping 11|ext 0|pad]: a ping response
  control_test::RunPasses(3);
  for (int ms = 10000; ms <= 35000; ms += 5000) {
    SCOPED_TRACE(ms);
    clock.Advance(5000);
    EXPECT_EQ(links.Receive(agent, 1), Messages{"ping"});
    EXPECT_FALSE(agent.closed());
  }
  // 35000 ms after it, the next send finds it silent for too long.
  clock.Advance(5000);
  EXPECT_EQ(links.Receive(agent, 1), Messages{"ping"});
  ASSERT_TRUE(RunUntil([&] { return link.state() == 3; }));
  EXPECT_TRUE(agent.closed());
  const std::string timeout = ": ping timeout !!! now=" + std::to_string(connected_at + 40000) +
                              " stamp=" + std::to_string(connected_at + 5000) + "\n";
  EXPECT_NE(logs.Log().find(link.header() + timeout), std::string::npos) << logs.Log();
  EXPECT_NE(logs.Log().find(link.header() + ": connection lost, reset snmpagent instance\n"), std::string::npos);

  // No ping while down; the connector tries again 10000 ms after the drop.
  clock.Advance(9999);
  control_test::RunPasses(3);
  EXPECT_FALSE(agent.Accept());
  clock.Advance(1);
  ASSERT_TRUE(links.Connect(agent));
  EXPECT_EQ(links.owner.connects, (std::vector<std::string>{"vost", "vost"}));
  EXPECT_TRUE(agent.Payloads().empty());
}

TEST(SnmpAgentInstance, KeepsTheLinkWhateverTheAgentSends) {
  const struct {
    const char* name;
    std::string payload;
    std::string error;
  } kCases[] = {
      {"junk", "\xFF\xFF\xFF", ": receive : decode error!\n"},
      {"empty", "", ": receive : decode error!\n"},
      {"a command", "\x18", ": receive unknown message type\n"},
      {"a response", "\x58", ""},
      {"a signal", std::string("\x80", 1), ""},
  };
  FrozenClock clock;
  FakeAgent agent;
  AgentLinks links(Block(agent.host()));
  ASSERT_TRUE(links.Connect(agent));
  const SnmpAgentInstance& link = *links.ctrl.links()[0];
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    Logs logs;
    agent.SendFrame(c.payload);
    ASSERT_TRUE(RunUntil([&] { return logs.Err() == (c.error.empty() ? "" : link.header() + c.error); }, 20));
    EXPECT_EQ(link.state(), 2);
    EXPECT_FALSE(agent.closed());
    EXPECT_TRUE(agent.Payloads().empty());
  }
}

// How many commands each message carries.
std::vector<size_t> Counts(const Messages& messages) {
  std::vector<size_t> counts;
  for (const std::string& message : messages) {
    size_t count = 0;
    for (size_t at = message.find('='); at != std::string::npos; at = message.find('=', at + 1)) {
      ++count;
    }
    counts.push_back(count);
  }
  return counts;
}

TEST(SnmpAgentCtrl, SplitsALargeStateIntoMessagesTheAgentTakes) {
  FrozenClock clock;
  FakeAgent agent;
  AgentLinks links(Block(agent.host()));
  ASSERT_TRUE(links.Connect(agent));

  for (int index = 0; index < 300; ++index) {
    links.ctrl.Send(SnmpAgentCtrl::e1Connected, index, "1");
  }
  const Messages by_count = links.Receive(agent, 3);
  EXPECT_EQ(Counts(by_count), (std::vector<size_t>{128, 128, 44}));
  EXPECT_EQ(by_count[1].rfind("set{129 e1Table.e1Connected[128]=1,130 ", 0), 0u);

  const std::string text(16000, 't');
  for (int index = 0; index < 5; ++index) {
    links.ctrl.Send(SnmpAgentCtrl::e1StatusDsc, index, text);
  }
  const std::vector<std::string> payloads = links.ReceivePayloads(agent, 2);
  Messages by_size;
  for (const std::string& payload : payloads) {
    EXPECT_LE(payload.size(), SnmpAgentCtrl::kMaxMessageBytes);
    by_size.push_back(agent_test::Decode(payload).value_or("?"));
  }
  EXPECT_EQ(Counts(by_size), (std::vector<size_t>{3, 2}));

  MON::SnmpSetCommands commands;
  MON::SnmpSetCommand command;
  command.get_id().select_oid() = "1";
  for (int uniq = 1; uniq <= 130; ++uniq) {
    command.set_uniq(uniq);
    commands.get_commands().push_back(command);
  }
  links.ctrl.Send(commands);
  EXPECT_EQ(Counts(links.Receive(agent, 2)), (std::vector<size_t>{128, 2}));

  // 128 receivers of 509 characters take 65539 bytes in one message.
  std::vector<std::string> hosts;
  std::string all = "trapsink{";
  for (int i = 0; i < 128; ++i) {
    hosts.push_back(std::string(500, 'h') + std::to_string(100000000 + i));
    all += (i > 0 ? "," : "") + hosts.back();
  }
  all += "}";
  links.ctrl.SendTrapsink(hosts);
  std::string received;
  std::vector<size_t> sinks;
  for (const std::string& payload : links.ReceivePayloads(agent, 2)) {
    EXPECT_LE(payload.size(), SnmpAgentCtrl::kMaxMessageBytes);
    const std::string message = agent_test::Decode(payload).value_or("?");
    ASSERT_EQ(message.rfind("trapsink{", 0), 0u) << message;
    sinks.push_back(static_cast<size_t>(std::count(message.begin(), message.end(), ',')) + 1);
    received += received.empty() ? message.substr(0, message.size() - 1) : "," + message.substr(9, message.size() - 10);
  }
  EXPECT_EQ(sinks, (std::vector<size_t>{117, 11}));
  // Compared as a flag: the texts are too long to show.
  EXPECT_TRUE(received + "}" == all);
}

TEST(SnmpAgentCtrl, UniqWrapsToOne) {
  EXPECT_EQ(SnmpAgentCtrl::NextUniq(1), 2);
  EXPECT_EQ(SnmpAgentCtrl::NextUniq(std::numeric_limits<int32_t>::max()), 1);
}

}  // namespace
