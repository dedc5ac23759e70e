#include "monitoring/MonitoringCtl.h"

#include "monitoring/SnmpAgentInstance.h"
#include "platform/sim/HalDriver.h"
#include "tests/monitoring/BoardRootFixture.h"
#include "tests/monitoring/FakeAgent.h"
#include "tests/server/ControllerLink.h"
#include "tests/support/ControlLoop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Strings = std::vector<std::string>;

constexpr unsigned long kReadPower = 0xc0014206;
constexpr const char* kFramerFile = "/proc/driver/hdlc/peb22554/";

LGCP::Message Display() {
  return ctrlsrv_test::Command(LGCP::Command::Alternative::display, 1);
}

LGCP::Message FramerLed(int e1, bool link, bool value) {
  LGCP::Message message = Display();
  LGCP::FramerInfo& framer = message.get_pdu().get_command().get_display().select_framer();
  framer.set_e1(e1);
  (link ? framer.get_info().select_link() : framer.get_info().select_line()).setValue(value);
  return message;
}

LGCP::Signal TrunkStatus(int trunk, ACP::TrunkState::NamedNumber state, ACP::TrunkType::NamedNumber type) {
  LGCP::Signal signal;
  ACP::TrunkStatus& status = signal.select_trunkStatus();
  status.set_trunk(trunk);
  status.get_state().setValue(state);
  status.get_type().setValue(type);
  return signal;
}

// "set{7 gatewayCommon.gatewayDip[0]=1,8 ...}" as its items without the uniq
// numbers; any other message as it is.
Strings Items(const std::string& decoded) {
  if (decoded.rfind("set{", 0) != 0) {
    return {decoded};
  }
  Strings items;
  std::istringstream list(decoded.substr(4, decoded.size() - 5));
  for (std::string item; std::getline(list, item, ',');) {
    items.push_back(item.substr(item.find(' ') + 1));
  }
  return items;
}

// A monitoring service on a fresh board root and frozen clock, bound to a
// controller link whose controller end the test plays.
class MonitoringCtlTest : public BoardRootFixture {
 protected:
  void SetUp() override {
    BoardRootFixture::SetUp();
    cwd_ = std::filesystem::current_path();
  }
  void TearDown() override {
    ctl_.reset();
    std::filesystem::current_path(cwd_);
    BoardRootFixture::TearDown();
  }

  // Built after the test has laid out the board's files.
  MonitoringCtl& Start() {
    ctl_ = std::make_unique<MonitoringCtl>();
    link.server.Bind(ctl_.get());
    return *ctl_;
  }
  // The controller connects; its power signals are dropped.
  void Connect() {
    link.Connect();
    link.Received();
  }
  void Advance(uint64_t ms) {
    clock_.Advance(ms);
    control_test::RunPasses(2);
  }
  sim::HalDriver& Hal() { return *sim::Board::instance().Find<sim::HalDriver>(sim::HalDriver::kPath); }
  const MonitoringDataHolder& Holder() { return *ctl_->holder(); }

  // Links the service to a fake agent and waits for the full resend.
  std::vector<Strings> ConnectAgent() {
    std::istringstream text("[snmpagent]\nhost = " + agent_.host() + "\nname = vost\n");
    text >> config_;
    ctl_->Configure(config_);
    bool accepted = false;
    EXPECT_TRUE(control_test::RunUntil([&] { return accepted = accepted || agent_.Accept(); }));
    return AgentMessages();
  }
  // The items of each message the agent received since the last call. Every
  // link gets the queue of each address type: vost's first, lemzgw.kl's second.
  std::vector<Strings> AgentMessages() {
    std::vector<Strings> messages;
    control_test::RunUntil(
        [&] {
          for (const std::string& payload : agent_.Payloads()) {
            messages.push_back(Items(agent_test::Decode(payload).value_or("?")));
          }
          return false;
        },
        10);
    return messages;
  }
  // The items of those messages whose name begins with prefix.
  Strings AgentItems(const std::string& prefix) {
    Strings items;
    for (const Strings& message : AgentMessages()) {
      for (const std::string& item : message) {
        if (item.rfind(prefix, 0) == 0) {
          items.push_back(item);
        }
      }
    }
    return items;
  }

  control_test::FrozenClock clock_;
  ctrlsrv_test::ControllerLink link;
  std::unique_ptr<MonitoringCtl> ctl_;

 private:
  std::filesystem::path cwd_;
  agent_test::FakeAgent agent_;
  IniFile::File config_;
};

TEST_F(MonitoringCtlTest, ChecksRunOnTheirScheduleFromTheEndOfTheLastRun) {
  WriteFile("/var/version", "1\n");
  Start();
  const struct {
    uint64_t advance_ms;
    const char* version_file;  // written before the clock moves; null keeps it
    std::string build_version;
    size_t power_reads;
    int controller_status;
  } kSteps[] = {
      {999, nullptr, "", 0, HSP::ControllerStatus::unknown},
      {1, "2\n", "2\n", 0, HSP::ControllerStatus::unknown},
      {1000, "3\n", "2\n", 1, HSP::ControllerStatus::unknown},
      {2000, nullptr, "2\n", 2, HSP::ControllerStatus::unknown},
      {1000, nullptr, "2\n", 2, HSP::ControllerStatus::notrun},
      // A jump of the clock runs each check once; the next run counts from it.
      {55999, nullptr, "2\n", 3, HSP::ControllerStatus::notrun},
      {1, nullptr, "3\n", 3, HSP::ControllerStatus::notrun},
      {1000, nullptr, "3\n", 3, HSP::ControllerStatus::notrun},
      {999, nullptr, "3\n", 4, HSP::ControllerStatus::notrun},
  };
  uint64_t now = 0;
  for (const auto& step : kSteps) {
    now += step.advance_ms;
    SCOPED_TRACE(now);
    if (step.version_file != nullptr) {
      WriteFile("/var/version", step.version_file);
    }
    Advance(step.advance_ms);
    EXPECT_EQ(Holder().buildVersion, step.build_version);
    size_t power_reads = 0;
    for (const sim::Request& request : Hal().Requests()) {
      power_reads += request.code == kReadPower ? 1 : 0;
    }
    EXPECT_EQ(power_reads, step.power_reads);
    EXPECT_EQ(Holder().selfControllerStatus.getValue(), step.controller_status);
  }
}

TEST_F(MonitoringCtlTest, DisplayFramerSetsTheLedBits) {
  // Without the driver a display is answered all the same.
  Hal().SetAbsent(true);
  Start();
  Connect();
  link.Send(FramerLed(2, false, true));
  EXPECT_EQ(link.Received(), Strings{"seq=1 success"});
  EXPECT_TRUE(Hal().LedWrites().empty());
  // Its first use opens it, starting from all LEDs off.
  Hal().SetAbsent(false);
  link.Send(FramerLed(2, true, false));
  EXPECT_EQ(Hal().LedWrites(), (std::vector<uint8_t>{0x00, 0x10}));
  link.Send(FramerLed(2, false, false));
  const struct {
    int e1;
    bool link;
    bool value;
    std::vector<uint8_t> writes;  // the LED bytes the driver received
  } kSteps[] = {
      {1, false, true, {0x0c}},
      {1, true, true, {0x08}},
      {1, false, true, {0x08}},
      {1, false, false, {0x00}},
      {0, true, false, {0x01}},
      {3, false, true, {0xc1}},
      // Outside the four framers: refused, nothing written.
      {4, false, true, {}},
      {-1, true, false, {}},
  };
  size_t seen = 3;
  link.Received();
  for (const auto& step : kSteps) {
    SCOPED_TRACE(std::to_string(step.e1) + (step.link ? " link " : " line ") + std::to_string(step.value));
    if (step.e1 >= 0 && step.e1 <= 3) {
      link.Send(FramerLed(step.e1, step.link, step.value));
      EXPECT_EQ(link.Received(), Strings{"seq=1 success"});
    } else {
      ctrlsrv_test::Capture errors(std::cerr);
      EXPECT_TRUE(ctl_->OnCommand(FramerLed(step.e1, step.link, step.value).get_pdu().get_command()));
      EXPECT_EQ(errors.Text(),
                "monitoring: framer " + std::to_string(static_cast<uint32_t>(step.e1)) + " has no LEDs\n");
    }
    const std::vector<uint8_t> writes = Hal().LedWrites();
    EXPECT_EQ(std::vector<uint8_t>(writes.begin() + static_cast<long>(seen), writes.end()), step.writes);
    seen = writes.size();
  }
  ctl_->Shutdown();
  EXPECT_EQ(Hal().LedWrites().back(), 0);
  EXPECT_EQ(Hal().OpenCount(), 0u);
  EXPECT_FALSE(std::filesystem::exists(Host("/var/monitoring/term_cnts")));
  EXPECT_FALSE(ctl_->OnCommand(FramerLed(0, true, true).get_pdu().get_command()));
}

TEST_F(MonitoringCtlTest, PowerChangesReachTheControllerAndTheState) {
  Start();
  link.Connect();
  // The connect reads the driver's 0 (both) as a change, then repeats it.
  EXPECT_EQ(link.Received(), (Strings{"signal 17", "signal 17"}));
  const struct {
    uint8_t byte;
    int status;
    bool signalled;
  } kReadings[] = {
      {2, LGCP::POWERStatus::main, true},    {2, LGCP::POWERStatus::main, false},   {0, LGCP::POWERStatus::both, true},
      {1, LGCP::POWERStatus::standby, true}, {7, LGCP::POWERStatus::unknown, true},
  };
  for (const auto& reading : kReadings) {
    SCOPED_TRACE(int{reading.byte});
    Hal().SetPower(reading.byte);
    Advance(2000);
    EXPECT_EQ(link.Received(), reading.signalled ? Strings{"signal 17"} : Strings{});
    EXPECT_EQ(Holder().boardPowerStatus.getValue(), reading.status);
  }
  EXPECT_EQ(ReadFile("/var/monitoring/powerstatus"), "0");
  Hal().SetDip(0xa5);
  Advance(2000);
  EXPECT_EQ(ReadFile("/var/monitoring/dip"), "165");
  // A failing request changes nothing.
  Hal().SetPower(2);
  Hal().FailNextRequest(kReadPower, 1, EIO);
  Advance(2000);
  EXPECT_EQ(Holder().boardPowerStatus.getValue(), LGCP::POWERStatus::unknown);
}

TEST_F(MonitoringCtlTest, BoardChecksReadTheirSources) {
  std::filesystem::create_directories(Host("/usr/local/etc/config.00000001-0000000000000001"));
  WriteFile("/usr/local/etc/config.2save.tar.bz2", "");
  WriteFile("/usr/local/etc/config.0000002a-00000000000000ff", "");
  WriteFile("/proc/temperature", "45 deg\n");
  WriteFile("/var/fpga-version", "f7");
  WriteFile(std::string(kFramerFile) + "0", "Current state           : AIS\n");
  Start();
  ctl_->doConfigCheck();
  ctl_->doTemperatureCheck();
  ctl_->doVersionsCheck();
  ctl_->doFramerCheck();
  EXPECT_EQ(Holder().framers.front().status, "AIS");
  EXPECT_EQ(Holder().configVersion, (std::pair<uint32_t, uint64_t>{42, 255}));
  EXPECT_EQ(Holder().temperature, "45");
  EXPECT_EQ(Holder().fpgaVersion, "f7");
  EXPECT_EQ(std::filesystem::current_path(), Host("/usr/local/etc"));

  // Short and partly hexadecimal names read only what they hold; each check starts from 0.
  const struct {
    const char* name;
    std::pair<uint32_t, uint64_t> version;
  } kNames[] = {
      {"config.", {0, 0}},           {"config.1", {1, 0}},
      {"config.0000000b-", {11, 0}}, {"config.0000000c-1f", {12, 31}},
      {"config.zzzzzzzz-2", {0, 2}}, {"config.0000000d-00000000000000ff0", {13, 255}},
  };
  for (const auto& name : kNames) {
    SCOPED_TRACE(name.name);
    std::filesystem::remove_all(Host("/usr/local/etc"));
    WriteFile(std::string("/usr/local/etc/") + name.name, "");
    ctl_->doConfigCheck();
    EXPECT_EQ(Holder().configVersion, name.version);
  }
}

TEST_F(MonitoringCtlTest, AgentGetsEveryItemOnConnectAndEachChange) {
  WriteFile(std::string(kFramerFile) + "0", "");
  WriteFile(std::string(kFramerFile) + "1", "");
  Start();
  std::vector<Strings> resend = ConnectAgent();
  // The interfaces are the simulated board's and the build tag the build's.
  for (Strings& message : resend) {
    message.erase(std::remove_if(message.begin(), message.end(),
                                 [](const std::string& item) {
                                   return item.rfind("ifTable.", 0) == 0 ||
                                          item.rfind("gatewayCommon.softwareBuild", 0) == 0;
                                 }),
                  message.end());
  }
  const Strings common = {"gatewayCommon.powerStatus[0]=0", "gatewayCommon.controllerStatus[0]=0",
                          "gatewayCommon.gatewayDip[0]=4294967295", "gatewayCommon.gatewayConfigVersion[0]=4294967295"};
  Strings vost = common;
  vost.push_back("gatewayCommon.temperature[0]=");
  for (const char* row : {"1", "2"}) {
    for (const char* item : {"e1Connected[%s]=0", "e1StatusDsc[%s]=absent", "e1SignalLoss[%s]=1",
                             "e1FrameAlignLoss[%s]=1", "e1NegSlipCount[%s]=0", "e1PosSlipCount[%s]=0"}) {
      std::string text = std::string("e1Table.") + item;
      vost.push_back(text.replace(text.find("%s"), 2, row));
    }
  }
  Strings kl = common;
  for (const char* item : {"sgBuildVersion", "sgFPGAVersion", "sgBootVersion", "sgBoardVersion"}) {
    kl.push_back(std::string("statusGeneral.") + item + "[0]=");
  }
  EXPECT_EQ(resend, (std::vector<Strings>{vost, kl}));
  // Two framer changes in one pass: one resend.
  ctl_->OnSignal(TrunkStatus(0, ACP::TrunkState::normal, ACP::TrunkType::e1));
  ctl_->OnSignal(TrunkStatus(1, ACP::TrunkState::rai, ACP::TrunkType::e1));
  EXPECT_EQ(AgentItems("e1Table.e1Connected"), (Strings{"e1Table.e1Connected[1]=1", "e1Table.e1Connected[2]=1"}));
  // Neither a BRI line of a framer's number nor a trunk without a framer is a framer's.
  for (int32_t trunk : {0, 5, -1, std::numeric_limits<int32_t>::max()}) {
    ctl_->OnSignal(
        TrunkStatus(trunk, ACP::TrunkState::lossCarrier, trunk == 0 ? ACP::TrunkType::bri : ACP::TrunkType::e1));
  }
  EXPECT_EQ(AgentItems("e1Table"), Strings{});
  EXPECT_EQ(Holder().framers.front().status, "Synchronized");

  // The driver build line, as the full resend sends it.
  const struct {
    std::string line;
    std::string value;  // empty: not sent
  } kLines[] = {
      {"voice 2.1 r7 b12\n", "2.1 [r7 b12]"},
      {"voice  2.1   r7\n", "2.1 [r7]"},
      {"voice 2.1 r7 \n", "2.1 [r7 ]"},
      {"voice 2.1\n", "none"},
      {"", ""},
  };
  for (const auto& line : kLines) {
    SCOPED_TRACE(line.line);
    WriteFile("/proc/voice/version", line.line);
    ctl_->OnDpcSend();
    // Once for each address type.
    const std::string item = "gatewayCommon.driverBuild[0]=" + line.value;
    const Strings expected = line.value.empty() ? Strings{} : Strings{item, item};
    EXPECT_EQ(AgentItems("gatewayCommon.driverBuild"), expected);
  }
}

TEST_F(MonitoringCtlTest, DisplayReportsReachTheAgent) {
  Start();
  Connect();
  ConnectAgent();
  const auto display = [this](const std::function<void(LGCP::DisplayParams&)>& fill) {
    LGCP::Message message = Display();
    fill(message.get_pdu().get_command().get_display());
    link.Send(message);
    EXPECT_EQ(link.Received(), Strings{"seq=1 success"});
    Strings items;
    for (const Strings& message : AgentMessages()) {
      items.insert(items.end(), message.begin(), message.end());
    }
    return items;
  };
  // Rows count from 1; the item order is pinned by the full resend.
  const Strings phone = display([](LGCP::DisplayParams& params) {
    LGCP::EmPhoneStatusParams& status = params.select_emPhone().select_phoneStatus();
    status.set_id(0);
    status.get_panelSV().assign({'p', '1'});
  });
  EXPECT_EQ(phone.size(), 8u);
  EXPECT_EQ(phone.front(), "emPhoneTable.emPhonePanelSoftVer[1]=p1");
  // An extension board's counter without its board id has no row.
  const Strings no_row = display([](LGCP::DisplayParams& params) {
    params.select_termCounter().get_owner().setValue(LGCP::TermCounterOwner::extBoard);
  });
  EXPECT_EQ(no_row, Strings{});
  const Strings router = display([](LGCP::DisplayParams& params) {
    params.select_termCounter().get_owner().setValue(LGCP::TermCounterOwner::router);
    params.get_termCounter().set_cnt(-1);
  });
  EXPECT_EQ(router, Strings(2, "gatewayTermCounters.routerTermCnt[0]=4294967295"));
  // Every stored counter goes again, each owner as its own item, router first.
  const Strings counters = display([](LGCP::DisplayParams& params) {
    params.select_termCounter().get_owner().setValue(LGCP::TermCounterOwner::server);
    params.get_termCounter().set_cnt(2);
  });
  const Strings both = {"gatewayTermCounters.routerTermCnt[0]=4294967295", "gatewayTermCounters.serverTermCnt[0]=2"};
  EXPECT_EQ(counters, (Strings{both[0], both[1], both[0], both[1]}));
  // A report about the controller repeats the own controller's status, changed or not.
  for (int round = 0; round < 2; ++round) {
    const Strings controller = display([](LGCP::DisplayParams& params) {
      params.select_controller().get_host().set_iaddr("10.9.9.9");
      params.get_controller().get_status().setValue(HSP::ControllerStatus::ok);
    });
    EXPECT_EQ(controller, Strings(2, "gatewayCommon.controllerStatus[0]=0"));
  }
  // The extension boards are the controller's: they go when it goes.
  const Strings board = display([](LGCP::DisplayParams& params) { params.select_board().select_boardStatus(); });
  EXPECT_EQ(board.front(), "extBoardTable.extBoardStatus[0]=0");
  EXPECT_NE(ReadFile("/var/monitoring/board0"), "<missing>");
  link.server.Deactivate();
  EXPECT_EQ(ReadFile("/var/monitoring/board0"), "<missing>");
  EXPECT_TRUE(Holder().boards.empty());
}

}  // namespace
