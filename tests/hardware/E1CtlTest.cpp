#include "hardware/E1Ctl.h"

#include "tests/hardware/ControllerFixture.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using ctrlsrv_test::Capture;
using Strings = std::vector<std::string>;

using Cas = LGCP::CasCommandSignal::Alternative;
constexpr Cas kOpen = Cas::open, kClose = Cas::close, kSet = Cas::set, kGet = Cas::get;

LGCP::Message CasCommand(Cas cmd, int path, int timeslot, int value = 0) {
  LGCP::Message message = ctrlsrv_test::Command(hardware_test::kIoctl);
  LGCP::CasCommand& cas = message.get_pdu().get_command().get_ioctl().select_cas();
  cas.get_channel().set_path(path);
  cas.get_channel().set_timeslot(timeslot);
  EXPECT_TRUE(cas.get_cmd().select(cmd));
  if (cmd == kOpen) {
    cas.get_cmd().get_open().setValue(value);
  } else if (cmd == kSet) {
    cas.get_cmd().get_set().setValue(value);
  }
  return message;
}

LGCP::Message TrunkCfg(int trunk, LGCP::TrunkMode::NamedNumber mode) {
  LGCP::Message message = ctrlsrv_test::Command(hardware_test::kTrunkCfg);
  message.get_pdu().get_command().get_trunkCfg().set_trunk(trunk);
  message.get_pdu().get_command().get_trunkCfg().set_mode(mode);
  return message;
}

class E1CtlTest : public hardware_test::ControllerTest {
 protected:
  void SetUp() override {
    ControllerTest::SetUp();
    e1_ = std::make_unique<E1Ctl>();
    link.server.Bind(e1_.get());
    link.server.Bind(&listener_);
  }
  void Connect() {
    link.Connect();
    Received();
    listener_.heard.clear();
  }
  // What one command made the server send, joined by "; ".
  std::string Send(const LGCP::Message& message) {
    std::string text;
    for (const std::string& line : Exchange(message)) {
      text += (text.empty() ? "" : "; ") + line;
    }
    return text;
  }

  std::unique_ptr<E1Ctl> e1_;
  hardware_test::Listener listener_;
};

TEST_F(E1CtlTest, StatusCycleStartsAtConnectAndOutlivesTheController) {
  Maintenance().SetStatus(1, {2, 3, 4, 5, 6, 7});
  Maintenance().SetStatus(3, {9, 0, 0, 0, 0, 0});
  link.Connect();
  const Strings kFirst = {
      "trunk 0 state 0 slips 0 bf 0 carrier 0 ais 0 rai 0 e1",
      "trunk 1 state 2 slips 3 bf 4 carrier 5 ais 6 rai 7 e1",
      "trunk 2 state 0 slips 0 bf 0 carrier 0 ais 0 rai 0 e1",
      // A state the controller does not know is reported as unknown.
      "trunk 3 state 5 slips 0 bf 0 carrier 0 ais 0 rai 0 e1",
  };
  EXPECT_EQ(Received(), kFirst);
  EXPECT_EQ(listener_.heard, kFirst);

  Maintenance().SetStatus(2, {3, 1, 0, 0, 1, 0});
  Maintenance().FailNextRequest(0xc0504d03, 1, EIO);
  EXPECT_EQ(AdvanceMs(999), Strings{});
  Capture errors(std::cerr);
  const Strings second = AdvanceMs(1);
  ASSERT_EQ(second.size(), 3u);
  EXPECT_EQ(second[1], "trunk 2 state 3 slips 1 bf 0 carrier 0 ais 1 rai 0 e1");
  EXPECT_EQ(errors.Text(), "E1: synchronization status read fail, trunk = 0 cause = Input/output error\n");

  link.server.Deactivate();
  listener_.heard.clear();
  platform::clock_control::Advance(1000);
  Received();
  EXPECT_EQ(listener_.heard.size(), 4u);
}

TEST_F(E1CtlTest, TrunkCfgSetsTheTransmitClockMask) {
  Connect();
  EXPECT_EQ(Maintenance().TclkWrites(), std::vector<unsigned long>{0});
  const struct {
    int trunk;
    LGCP::TrunkMode::NamedNumber mode;
    std::optional<unsigned long> written;  // none: the mask is not touched
  } kSteps[] = {
      {2, LGCP::TrunkMode::slave, 0x4},         {0, LGCP::TrunkMode::slave, 0x5}, {2, LGCP::TrunkMode::master, 0x1},
      {31, LGCP::TrunkMode::slave, 0x80000001}, {-1, LGCP::TrunkMode::slave, {}}, {32, LGCP::TrunkMode::slave, {}},
      {200, LGCP::TrunkMode::master, {}},
  };
  for (const auto& step : kSteps) {
    SCOPED_TRACE(step.trunk);
    const size_t before = Maintenance().TclkWrites().size();
    EXPECT_EQ(Send(TrunkCfg(step.trunk, step.mode)), "success");
    const auto writes = Maintenance().TclkWrites();
    ASSERT_EQ(writes.size(), before + (step.written ? 1 : 0));
    EXPECT_EQ(writes.back(), step.written.value_or(writes.back()));
  }
  // A new controller starts from a cleared mask.
  e1_->OnConnect();
  EXPECT_EQ(Maintenance().TclkWrites().back(), 0u);
}

TEST_F(E1CtlTest, CasCommandsReportThroughSignals) {
  Connect();
  EXPECT_EQ(Send(CasCommand(kOpen, 1, 5, 0x1B)), "cas 1/0 rx 0 tx 0; cas 1/5 rx 0 tx 11; success");
  Cas().ReceiveBits(1, 5, 9);
  EXPECT_EQ(Received(), Strings{"cas 1/5 rx 9 tx 11"});
  const struct {
    LGCP::Message command;
    const char* sent;
  } kSteps[] = {
      // Already open: reported so, and the channel is configured anew.
      {CasCommand(kOpen, 1, 5, 0x3), "cas 1/0 rx 0 tx 0; cas 1/5 rx 9 tx 3; success"},
      {CasCommand(kSet, 1, 5, 0x16), "cas 1/5 rx 9 tx 6; success"},
      {CasCommand(kGet, 1, 5), "cas 1/5 rx 9 tx 6; success"},
      {CasCommand(kSet, 1, 6, 1), "cas 1/6 rx -1 tx 0; success"},
      {CasCommand(kOpen, 1, 16, 1), "cas 1/0 rx 0 tx 0; success"},
      {CasCommand(kClose, 1, 5), "cas 1/5 rx -1 tx 1; success"},
      {CasCommand(kClose, 1, 16), "success"},
      {CasCommand(kClose, 1, 0), "cas 1/0 rx 1 tx 0; success"},
      // The trunk is closed: the controller hears that nothing was done.
      {CasCommand(kGet, 1, 5), "cas 1/5 rx -1 tx 0; success"},
      {CasCommand(kSet, 1, 5, 1), "cas 1/5 rx -1 tx 0; success"},
      {CasCommand(kClose, 1, 5), "cas 1/5 rx -1 tx 0; success"},
      {CasCommand(kClose, 1, 0), "cas 1/0 rx -1 tx 0; success"},
  };
  for (const auto& step : kSteps) {
    SCOPED_TRACE(step.sent);
    EXPECT_EQ(Send(step.command), step.sent);
  }
  EXPECT_FALSE(Cas().IsTrunkOpen(1));
  EXPECT_FALSE(Cas().ChannelOf(1, 16).configured);
}

// The source number goes to the driver as the request's argument itself.
TEST_F(E1CtlTest, SelectSourceReachesTheMaintenanceDevice) {
  constexpr unsigned long kClockSource = 0xc0044d0a;
  const struct {
    const char* name;
    std::function<void(sim::MaintenanceDriver&)> trouble;
    uint32_t source;
    bool selected;
    const char* line;
  } kCases[] = {
      {"device missing", [](sim::MaintenanceDriver& m) { m.SetAbsent(true); }, 1, false,
       "E1: fail to set clock source [cause=No such file or directory]\n"},
      {"request refused", [](sim::MaintenanceDriver& m) { m.FailNextRequest(kClockSource, 1, EIO); }, 2, false,
       "E1: fail to set clock source [cause=Input/output error]\n"},
      {"selected", [](sim::MaintenanceDriver&) {}, 5, true, ""},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    c.trouble(Maintenance());
    Capture errors(std::cerr);
    EXPECT_EQ(e1_->select_source(c.source), c.selected);
    Maintenance().SetAbsent(false);
    EXPECT_EQ(errors.Text(), c.line);
  }
  const std::vector<sim::Request> requests = Maintenance().Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].code, kClockSource);
  EXPECT_EQ(requests[0].value, 5u);
}

TEST(E1CtlAssign, CopiesTrunkAndTimeslotOfAChannelRecord) {
  // trunk -2, timeslot 17, rx 0x0a, tx 0x05, padding: big-endian as the driver writes it.
  const uint8_t record[12] = {0xff, 0xff, 0xff, 0xfe, 0x00, 0x00, 0x00, 0x11, 0x0a, 0x05, 0x00, 0x00};
  LGCP::CasChannel channel;
  E1Ctl::Assign(channel, record);
  EXPECT_EQ(channel.get_path().getValue(), -2);
  EXPECT_EQ(channel.get_timeslot().getValue(), 17);
}

// The trunk number picks one of four flags: anything outside 0 to 3 is reported failed.
TEST_F(E1CtlTest, TrunkOutsideTheBoardIsReportedFailed) {
  Connect();
  for (int path : {-1, -2147483647, 4, 31}) {
    SCOPED_TRACE(path);
    const std::string trunk = "cas " + std::to_string(path);
    EXPECT_EQ(Send(CasCommand(kOpen, path, 1, 1)), trunk + "/1 rx -1 tx 0; success");
    EXPECT_EQ(Send(CasCommand(kClose, path, 0)), trunk + "/0 rx -1 tx 0; success");
  }
  EXPECT_FALSE(Cas().IsTrunkOpen(0));
}

// The loop serves the registration on every pass: only a readable device is read.
TEST_F(E1CtlTest, QuietCasDeviceIsNotRead) {
  Connect();
  const size_t opens = Cas().OpenCount();
  Cas().FailNext(sim::Call::kRead, 1, EIO);
  Received();
  EXPECT_EQ(Cas().OpenCount(), opens);
}

// A descriptor that keeps reporting would otherwise wake the loop on every
// pass: it is dropped with one line and opened again by the status cycle.
TEST_F(E1CtlTest, TroubledCasDeviceIsDroppedOnceAndOpenedAgain) {
  const struct {
    const char* name;
    std::function<void(sim::E1CasDriver&)> trouble;
    const char* line;
  } kCases[] = {
      {"driver hangs up", [](sim::E1CasDriver& cas) { cas.HangUpAll(); }, "E1: cas interface closed: end of file\n"},
      {"reads keep failing",
       [](sim::E1CasDriver& cas) {
         cas.FailNext(sim::Call::kRead, 100, EIO);
         cas.ReceiveBits(1, 5, 3);
       },
       "E1: cas interface closed: Input/output error\n"},
  };
  Connect();
  Send(CasCommand(kOpen, 1, 5, 1));
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const size_t opens = Cas().OpenCount();
    Capture errors(std::cerr);
    c.trouble(Cas());
    Received();
    Received();
    EXPECT_EQ(errors.Text(), c.line);
    EXPECT_EQ(Cas().OpenCount(), opens - 1);
    AdvanceMs(1000);
    EXPECT_EQ(Cas().OpenCount(), opens);
  }
}

}  // namespace
