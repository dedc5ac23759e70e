// A user side and a network side of LAPD on two MCC channels of the simulated
// board, joined through the switch and a cable, with a channel that pushes back.
#include "signalling/LAPD.h"

#include "hardware/HDLC.h"
#include "hardware/HwMux.h"
#include "platform/Clock.h"
#include "platform/sim/Board.h"
#include "platform/sim/MccDriver.h"
#include "tests/signalling/LapdFixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace lapd_test;
using Events = std::vector<std::string>;

// A link on an MCC channel bound to a line timeslot.
struct BoardLink {
  BoardLink(int line, ISDN::Side::type side) : link(new LAPD(side, 0)), owner(link) {
    hdlc.rx_channel = line;
    hdlc.mode = HDLC::kModeData;
    hdlc.notify = link;
    link->hdlc = &hdlc;
  }
  void Send(const Bytes& message) {
    Packet packet = PacketOf(message);
    link->message(packet);
  }
  bool Up() const { return link->full_state().state == LAPD::kMultipleFrameEstablished; }

  HDLC hdlc;
  LAPD* link;  // owned by owner
  test_support::LinkOwner owner;
  int channel = -1;  // the MCC channel's switch channel
};

// No board reset: the switch singleton keeps its descriptor to the board's HAL
// for the whole process. Each test cables lines of its own.
class LAPDOverMcc : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::clock_control::SkipSleeps(true);
    (void)HwMux::instance();
    mcc_ = sim::Board::instance().Find<sim::MccDriver>(sim::MccDriver::kPath);
    ASSERT_NE(mcc_, nullptr);
  }
  void TearDown() override { platform::clock_control::SkipSleeps(false); }

  // Opens both channels on the cabled lines and notes their switch channels.
  void Open(BoardLink& a, BoardLink& b) {
    ASSERT_TRUE(mcc_->JoinLines(a.hdlc.rx_channel, b.hdlc.rx_channel));
    for (BoardLink* end : {&a, &b}) {
      ASSERT_TRUE(end->hdlc.activate());
      for (const sim::MccDriver::Channel& channel : mcc_->Channels()) {
        if (channel.switch_channel != a.channel) {
          end->channel = channel.switch_channel;
        }
      }
    }
    Run(100);
  }
  void Run(unsigned ms) {
    for (unsigned done = 0; done < ms; done += 10) {
      clock_.Advance(10);
      control_test::RunPasses(3);
    }
  }

  control_test::FrozenClock clock_;
  control_test::Logs logs_;
  sim::MccDriver* mcc_ = nullptr;
};

void ExpectInOrder(const std::vector<Bytes>& got, uint8_t type, unsigned first, unsigned count) {
  ASSERT_EQ(got.size(), count);
  for (unsigned i = 0; i < count; ++i) {
    EXPECT_EQ(got[i], Q931(type, first + i)) << "message " << i;
  }
}

// The network's channel is full when the SABME arrives: its UA waits for the
// channel and goes out ahead of the messages queued behind it.
TEST_F(LAPDOverMcc, AnswerToSabmeWaitsForABlockedChannel) {
  BoardLink user(25, ISDN::Side::user);
  BoardLink network(26, ISDN::Side::network);
  Open(user, network);
  ASSERT_TRUE(mcc_->SetBlocked(network.channel, true));
  user.link->local_activate();
  Run(100);
  for (unsigned i = 0; i < 3; ++i) {
    network.Send(Q931(0x07, i));
  }
  Run(200);
  ASSERT_TRUE(mcc_->SetBlocked(network.channel, false));
  Run(5000);
  ExpectInOrder(user.owner.messages, 0x07, 0, 3);
  EXPECT_EQ(user.owner.TakeEvents(), Events{"activated"});
  EXPECT_EQ(network.owner.TakeEvents(), Events{"activated"});
}

// A stray UA while messages wait behind a blocked channel is reported and
// changes nothing: they arrive, numbered on from the ones before.
TEST_F(LAPDOverMcc, StrayUaBehindABlockedChannelLosesNothing) {
  BoardLink user(27, ISDN::Side::user);
  BoardLink network(28, ISDN::Side::network);
  Open(user, network);
  user.link->local_activate();
  Run(200);
  ASSERT_TRUE(user.Up() && network.Up());
  for (unsigned i = 0; i < 2; ++i) {
    user.Send(Q931(0x05, i));
  }
  Run(200);
  ASSERT_TRUE(mcc_->SetBlocked(user.channel, true));
  for (unsigned i = 2; i < 5; ++i) {
    user.Send(Q931(0x05, i));
  }
  // UA, F = 1, from the network side.
  ASSERT_TRUE(mcc_->Receive(user.channel, {0x00, 0x01, 0x73}));
  Run(200);
  ASSERT_TRUE(mcc_->SetBlocked(user.channel, false));
  Run(5000);
  ExpectInOrder(network.owner.messages, 0x05, 0, 5);
  EXPECT_EQ(user.owner.TakeEvents(), (Events{"activated", "status Other - Unknown"}));
  EXPECT_EQ(network.owner.TakeEvents(), Events{"activated"});
}

}  // namespace
