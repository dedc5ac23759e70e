#include "hardware/HDLC.h"

#include "platform/sim/MccDriver.h"
#include "runtime/log/TraceFlags.h"
#include "runtime/loop/Multiplexer.h"
#include "runtime/protocol/Packet.h"
#include "tests/hardware/SimulatedHal.h"
#include "tests/support/ControlLoop.h"
#include "tests/support/FreshBoard.h"

#include <gtest/gtest.h>

#include <poll.h>

#include <cerrno>
#include <functional>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

using ctrlsrv_test::Capture;

using sim::MccDriver;
using Carries = sim::TdmSwitch::Carries;
using Bytes = std::vector<uint8_t>;

constexpr unsigned long kAllocate = 0x40144d00;
constexpr unsigned long kTimeslot = 0x20004d02;
constexpr int kLine = 21;   // a trunk timeslot's switch channel
constexpr int kOther = 22;  // another one

// Writes down every upward call; a hook lets a test act inside on_hdlc_receive.
class Recorder : public HDLC::Notify {
 public:
  void on_hdlc_receive(Packet& packet) override {
    events.push_back("rx " + std::string(packet.data(), packet.data() + packet.length()));
    if (on_receive) {
      on_receive();
    }
  }
  void on_hdlc_error(Cause::Type cause) override { events.push_back("error " + std::to_string(cause)); }
  void on_hdlc_ready() override { events.push_back("ready"); }

  std::vector<std::string> Take() {
    std::vector<std::string> taken;
    taken.swap(events);
    return taken;
  }

  std::vector<std::string> events;
  std::function<void()> on_receive;
};

Packet Frame(const std::string& text) {
  Packet packet;
  packet.reserve_head(0);
  packet.put(reinterpret_cast<const uint8_t*>(text.data()), static_cast<unsigned>(text.size()));
  return packet;
}

// What the loop polls the channel's descriptor for, from its status dump.
std::string PolledFor() {
  std::ostringstream dump;
  multiplexer.dump(dump);
  std::istringstream lines(dump.str());
  for (std::string line; std::getline(lines, line);) {
    if (line.find("HDLC::OnEvent") != std::string::npos) {
      return line.find("POLLIN|POLLOUT") != std::string::npos ? "POLLIN|POLLOUT" : "POLLIN";
    }
  }
  return "nothing";
}

// One complete pass of the event loop: the third deferred run is the second pass's first.
void RunPass() {
  control_test::RunPasses(3);
}

class HDLCTest : public SimulatedHalTest {
 protected:
  void SetUp() override {
    SimulatedHalTest::SetUp();
    mcc_ = sim::Board::instance().Find<MccDriver>(MccDriver::kPath);
    ASSERT_NE(mcc_, nullptr);
    test_support::ReopenSwitch();
    Switch().ClearRequests();
    hdlc_.notify = &recorder_;
    hdlc_.link = 3;
    hdlc_.timeslot = 16;
    hdlc_.rx_channel = kLine;
    hdlc_.mode = HDLC::kModeData;
  }

  // Activates and runs the pass that makes the channel ready.
  void ActivateReady() {
    ASSERT_TRUE(hdlc_.activate());
    RunPass();
    ASSERT_EQ(recorder_.Take(), std::vector<std::string>{"ready"});
    ASSERT_TRUE(hdlc_.is_ready());
  }
  // The switch channel of the channel's MCC allocation.
  int Channel() const {
    const auto channels = mcc_->Channels();
    return channels.size() == 1 ? channels[0].switch_channel : -1;
  }
  bool Idle(int output) { return Switch().OutputOf(output) == sim::TdmSwitch::Output{Carries::constant, 0xD5}; }

  MccDriver* mcc_ = nullptr;
  Recorder recorder_;
  HDLC hdlc_;
};

TEST_F(HDLCTest, ActivationAllocatesByModeAndJoinsTheSwitch) {
  const struct {
    const char* name;
    int32_t mode;
    uint8_t type;
    int line_output;  // the output that carries the channel's transmit side
  } kCases[] = {
      {"ss7 link", HDLC::kModeSs7, 3, kLine},
      {"data link", HDLC::kModeData, 0, kLine},
      {"bri D channel", HDLC::kModeBri, 1, kOther},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    HDLC hdlc;
    hdlc.mode = c.mode;
    hdlc.rx_channel = kLine;
    hdlc.tx_channel = kOther;
    Switch().ClearRequests();
    ASSERT_TRUE(hdlc.activate());
    EXPECT_TRUE(hdlc.is_open());
    EXPECT_FALSE(hdlc.is_ready());

    const Bytes record = {0, 0, 0, c.type, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 4};
    const std::vector<sim::Request> requests = mcc_->Requests();
    ASSERT_GE(requests.size(), 2u);
    EXPECT_EQ(requests[requests.size() - 2].code, kAllocate);
    EXPECT_EQ(requests[requests.size() - 2].record, record);
    EXPECT_EQ(requests.back().code, kTimeslot);

    const int channel = mcc_->Channels().at(0).switch_channel;
    EXPECT_EQ(Switch().OutputOf(c.line_output), (sim::TdmSwitch::Output{Carries::source, channel}));
    EXPECT_EQ(Switch().OutputOf(channel), (sim::TdmSwitch::Output{Carries::source, kLine}));
    EXPECT_EQ(Switch().Requests().size(), 2u) << "no other output touched";
  }
}

TEST_F(HDLCTest, TransmitOutcomes) {
  const struct {
    const char* name;
    std::function<void(HDLC&, MccDriver&)> arrange;
    std::string frame;
    bool sent;
    HDLC::Counters counted;
  } kCases[] = {
      {"empty frame", [](HDLC&, MccDriver&) {}, "", true, {}},
      {"channel closed", [](HDLC& h, MccDriver&) { h.deactivate(); }, "x", false, {0, 1, 0, 0, 0}},
      {"write fails", [](HDLC&, MccDriver& d) { d.FailNext(sim::Call::kWrite, 1, EIO); }, "x", false, {0, 0, 1, 0, 0}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(hdlc_.activate());
    c.arrange(hdlc_, *mcc_);
    Packet frame = Frame(c.frame);
    EXPECT_EQ(hdlc_.hdlc_transmit(frame), c.sent);
    const HDLC::Counters& counted = hdlc_.counters();
    EXPECT_EQ(counted.txSU, c.counted.txSU);
    EXPECT_EQ(counted.txDiscard, c.counted.txDiscard);
    EXPECT_EQ(counted.txError, c.counted.txError);
    EXPECT_EQ(counted.txOverflow, 0u);
  }
  Packet null_handle;
  EXPECT_TRUE(hdlc_.hdlc_transmit(null_handle));
}

TEST_F(HDLCTest, PushBackThenReadyAgainExactlyOnce) {
  ActivateReady();
  const int channel = Channel();
  EXPECT_EQ(PolledFor(), "POLLIN") << "a ready channel is not polled for writing";
  ASSERT_TRUE(mcc_->SetBlocked(channel, true));
  Packet frame = Frame("held");
  EXPECT_FALSE(hdlc_.hdlc_transmit(frame));
  EXPECT_FALSE(hdlc_.is_ready());
  RunPass();
  EXPECT_TRUE(recorder_.Take().empty()) << "no ready while the device holds back";
  EXPECT_EQ(PolledFor(), "POLLIN|POLLOUT");

  ASSERT_TRUE(mcc_->SetBlocked(channel, false));
  RunPass();
  EXPECT_EQ(recorder_.Take(), std::vector<std::string>{"ready"});
  RunPass();
  EXPECT_TRUE(recorder_.Take().empty());
  EXPECT_TRUE(hdlc_.hdlc_transmit(frame));
  EXPECT_EQ(mcc_->TakeTransmitted(channel), std::vector<Bytes>{Bytes({'h', 'e', 'l', 'd'})});
  EXPECT_EQ(hdlc_.counters().txSU, 1u);
}

TEST_F(HDLCTest, LettingGoIdlesTheJoinedOutputs) {
  const struct {
    const char* name;
    std::function<void(std::unique_ptr<HDLC>&)> let_go;
  } kCases[] = {
      {"deactivate", [](std::unique_ptr<HDLC>& h) { h->deactivate(); }},
      {"destroy", [](std::unique_ptr<HDLC>& h) { h.reset(); }},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    auto hdlc = std::make_unique<HDLC>();
    hdlc->mode = HDLC::kModeBri;
    hdlc->rx_channel = kLine;
    hdlc->tx_channel = kOther;
    ASSERT_TRUE(hdlc->activate());
    const int channel = Channel();
    c.let_go(hdlc);
    EXPECT_TRUE(Idle(kOther));
    EXPECT_TRUE(Idle(channel));
    EXPECT_TRUE(mcc_->Channels().empty());
    Switch().ClearRequests();
    if (hdlc) {
      hdlc->deactivate();
      EXPECT_TRUE(Switch().Requests().empty()) << "idled once";
    }
  }
}

TEST_F(HDLCTest, OwnerDeactivatingInsideReceiveStopsThePass) {
  ActivateReady();
  ASSERT_TRUE(mcc_->Receive(Channel(), {'1'}));
  ASSERT_TRUE(mcc_->Receive(Channel(), {'2'}));
  recorder_.on_receive = [this] { hdlc_.deactivate(); };
  Capture errors(std::cerr);
  RunPass();
  EXPECT_EQ(recorder_.Take(), std::vector<std::string>{"rx 1"});
  EXPECT_FALSE(hdlc_.is_open());
  EXPECT_EQ(errors.Text(), "");
}

TEST_F(HDLCTest, EmptyReadEndsThePassWhateverErrnoSays) {
  ActivateReady();
  mcc_->HangUpAll();
  // The read now gives end of file; errno still holds an older failure.
  errno = EIO;
  Capture errors(std::cerr);
  hdlc_.OnEvent(-1, POLLIN);
  EXPECT_TRUE(hdlc_.is_open());
  EXPECT_TRUE(recorder_.Take().empty());
  EXPECT_EQ(errors.Text(), "");
}

// Released with one line rather than polled again, and not reopened by the channel itself.
TEST_F(HDLCTest, TroubleClosesTheChannelOnceAndTellsTheOwner) {
  const struct {
    const char* name;
    std::function<void(MccDriver&, int)> trouble;
    std::vector<std::string> events;
    const char* line;
  } kCases[] = {
      {"read error",
       [](MccDriver& d, int channel) {
         ASSERT_TRUE(d.Receive(channel, {'a'}));
         ASSERT_TRUE(d.ReceiveError(channel, EIO));
       },
       {"rx a", "error 0"},
       "hdlc [3/16]: read error: Input/output error\n"},
      {"hang-up", [](MccDriver& d, int) { d.HangUpAll(); }, {"error 0"}, "hdlc [3/16]: device hang-up: POLLHUP\n"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    ActivateReady();
    c.trouble(*mcc_, Channel());
    Capture errors(std::cerr);
    RunPass();
    RunPass();
    RunPass();
    EXPECT_EQ(errors.Text(), c.line);
    EXPECT_EQ(recorder_.Take(), c.events);
    EXPECT_FALSE(hdlc_.is_open());
    EXPECT_TRUE(mcc_->Channels().empty());
    EXPECT_TRUE(Idle(kLine));
  }
}

TEST_F(HDLCTest, ErrorBitsEachCloseTheChannel) {
  const struct {
    const char* name;
    short revents;
    const char* line;
  } kCases[] = {
      {"error", POLLERR | POLLOUT, "hdlc [3/16]: device hang-up: POLLERR\n"},
      {"invalid descriptor", POLLNVAL, "hdlc [3/16]: device hang-up: POLLNVAL\n"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(hdlc_.activate());
    Capture errors(std::cerr);
    hdlc_.OnEvent(-1, c.revents);
    EXPECT_EQ(errors.Text(), c.line);
    EXPECT_EQ(recorder_.Take(), std::vector<std::string>{"error 0"}) << "no ready on a dead descriptor";
    EXPECT_FALSE(hdlc_.is_open());
    hdlc_.OnEvent(-1, c.revents);
    EXPECT_TRUE(recorder_.Take().empty());
  }
}

}  // namespace
