#include "tests/slots/SlotsHarness.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using sim::TdmSwitch;
using Lines = std::vector<std::string>;
using Carries = TdmSwitch::Carries;

constexpr int kTx = 8200;
constexpr int kRx = 8201;
constexpr int kIdleByte = 0xD5;

class ExtSlotTest : public SlotsTest {
 protected:
  void SetUp() override {
    SlotsTest::SetUp();
    ProbeFactory::instance().takes_ext = false;
  }

  Lines CreateExt(unsigned slot, int transmitter, int receiver) {
    return Send(slot, [&](LGCP::Command& command) {
      LGCP::ExtParams& ext = command.select_create().select_ext();
      ext.set_transmitter(transmitter);
      ext.set_receiver(receiver);
    });
  }
  Lines Activate(unsigned slot) {
    return Send(slot, [](LGCP::Command& command) { command.select_activate().select_empty(); });
  }
  Lines Deactivate(unsigned slot) {
    return Send(slot, [](LGCP::Command& command) { command.select_deactivate(); });
  }
};

TEST_F(ExtSlotTest, ReceivesOnlyWhileActivated) {
  CreateTrunk(1, 0, 9);
  EXPECT_EQ(CreateExt(2, kTx, kRx), (Lines{"2 success", "2 transmitter : active : 8200"}));
  ASSERT_NE(SlotAt(2), nullptr);
  EXPECT_STREQ(SlotAt(2)->GetName(), "bri");

  // Its transmit side is there from the start, its receive side is not.
  EXPECT_EQ(Connect(2, 1), Lines{"2 success"});
  EXPECT_EQ(Switch().OutputOf(9), (TdmSwitch::Output{Carries::source, kTx}));
  EXPECT_EQ(Connect(1, 2), Lines{"1 error connectFail"});

  EXPECT_EQ(Activate(2), (Lines{"2 receiver : active : 8201", "2 success"}));
  EXPECT_EQ(Switch().OutputOf(kRx), (TdmSwitch::Output{Carries::constant, kIdleByte}));
  EXPECT_EQ(Connect(1, 2), Lines{"1 success"});
  EXPECT_EQ(Switch().OutputOf(kRx), (TdmSwitch::Output{Carries::source, 9}));

  // A second activate keeps the path the table shows.
  EXPECT_EQ(Activate(2), Lines{"2 success"});
  EXPECT_EQ(Switch().OutputOf(kRx), (TdmSwitch::Output{Carries::source, 9}));
  EXPECT_EQ(SlotAt(2)->GetSource(), SlotAt(1));

  EXPECT_EQ(Deactivate(2), (Lines{"2 receiver : inactive : NULL", "2 success"}));
  EXPECT_EQ(SlotAt(2)->GetSource(), nullptr);
  EXPECT_EQ(Switch().OutputOf(kRx).carries, Carries::nothing);
  EXPECT_EQ(Connect(1, 2), Lines{"1 error connectFail"});

  Activate(2);
  ASSERT_EQ(Switch().OutputOf(kRx).carries, Carries::constant);
  EXPECT_EQ(Destroy(2), Lines{"2 success"});
  EXPECT_EQ(Switch().OutputOf(kRx).carries, Carries::nothing);
}

}  // namespace
