#include "signalling/SLC.h"

#include "hardware/HDLC.h"
#include "hardware/HwMux.h"
#include "platform/Clock.h"
#include "platform/sim/Board.h"
#include "platform/sim/MccDriver.h"
#include "tests/signalling/SlcFixture.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace slc_test;

// A link on an MCC channel of the simulated board, bound to a line timeslot.
struct BoardLink {
  explicit BoardLink(int line) : slc(new SS7::SLC), owner(slc) {
    hdlc.rx_channel = line;
    hdlc.mode = HDLC::kModeSs7;
    hdlc.notify = slc;
    slc->hdlc = &hdlc;
  }
  HDLC hdlc;
  SS7::SLC* slc;  // owned by owner
  test_support::LinkOwner owner;
};

TEST(SLCOverMcc, TwoLinksTalkThroughTheSwitchAndACable) {
  // No board reset: the switch singleton keeps its descriptor to the board's
  // HAL for the whole process. The lines here are this test's own.
  platform::clock_control::SkipSleeps(true);
  control_test::FrozenClock clock;
  control_test::Logs logs;
  (void)HwMux::instance();
  auto* mcc = sim::Board::instance().Find<sim::MccDriver>(sim::MccDriver::kPath);
  ASSERT_NE(mcc, nullptr);
  ASSERT_TRUE(mcc->JoinLines(21, 22));
  BoardLink a(21);
  BoardLink b(22);
  ASSERT_TRUE(a.hdlc.activate());
  ASSERT_TRUE(b.hdlc.activate());
  a.slc->local_activate();
  b.slc->local_activate();
  const auto both_worked = [&] {
    return a.slc->get_state_id() == State::worked && b.slc->get_state_id() == State::worked;
  };
  for (int ms = 0; ms < 10000 && !both_worked(); ms += 100) {
    clock.Advance(100);
    control_test::RunPasses(3);
  }
  ASSERT_TRUE(both_worked());

  std::vector<Bytes> sent;
  for (uint8_t i = 0; i < 40; ++i) {
    sent.push_back({0x83, i, static_cast<uint8_t>(i * 3), 0x55});
    Packet packet = PacketOf(sent.back());
    (i % 2 == 0 ? a : b).slc->message(packet);
  }
  control_test::RunUntil([&] { return a.owner.messages.size() + b.owner.messages.size() == sent.size(); });
  std::vector<Bytes> to_b, to_a;
  for (size_t i = 0; i < sent.size(); ++i) {
    (i % 2 == 0 ? to_b : to_a).push_back(sent[i]);
  }
  EXPECT_EQ(b.owner.messages, to_b);
  EXPECT_EQ(a.owner.messages, to_a);
  platform::clock_control::SkipSleeps(false);
}

}  // namespace
