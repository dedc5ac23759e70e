#include "tests/e2e/GatewayFixture.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace e2e {
namespace {

constexpr unsigned kTrunkIn = 5;   // trunk 1, timeslot 5: switch channel 37
constexpr unsigned kTrunkOut = 6;  // trunk 1, timeslot 6: switch channel 38
constexpr unsigned kInput = 10;    // unit 0, channel 1
constexpr unsigned kOutput = 11;   // unit 0, channel 7
const std::string kInputTimeslot = "1025";
const std::string kOutputTimeslot = "1031";

using MixerTest = GatewayFixture;

TEST_F(MixerTest, DigitOnAConferenceLegComesBackAsASignalAndDestroyLeavesTheBoardClean) {
  ASSERT_TRUE(controller_.Send(Command(1, std::nullopt, [](LGCP::Command& c) { c.select_query(); })));
  ExpectNext(controller_, {1, std::nullopt, "success"});
  ExpectNext(controller_, {std::nullopt, std::nullopt, "query"});
  CreateTrunkSlot(2, kTrunkIn, 5);
  CreateTrunkSlot(3, kTrunkOut, 6);
  // The output first: creating it clears its summator.
  ASSERT_TRUE(controller_.Send(Command(4, kOutput, [](LGCP::Command& c) {
    LGCP::MixerOutParams& out = c.select_create().select_mixerOut();
    out.set_unit(0);
    out.get_channel().select_tdm().setValue(7);
  })));
  ExpectNext(controller_, {4, kOutput, "success"});
  ASSERT_TRUE(controller_.Send(Command(5, kInput, [](LGCP::Command& c) {
    LGCP::MixerInParams& in = c.select_create().select_mixerIn();
    in.set_unit(0);
    in.get_channel().select_tdm().setValue(1);
    in.include_summator().select_tdm().setValue(7);
  })));
  ExpectNext(controller_, {5, kInput, "success"});
  EXPECT_EQ(board_.Ask("/dev/mixer summators 0"), "ok 7=0:0:7*32767,0:0:1*32767");

  ASSERT_TRUE(controller_.Send(Connect(6, kTrunkIn, kInput)));
  ExpectNext(controller_, {std::nullopt, kInput, "receiver active " + kInputTimeslot});
  ExpectNext(controller_, {6, kTrunkIn, "success"});
  ASSERT_TRUE(controller_.Send(Connect(7, kOutput, kTrunkOut)));
  ExpectNext(controller_, {std::nullopt, kOutput, "transmitter active " + kOutputTimeslot});
  ExpectNext(controller_, {7, kOutput, "success"});
  EXPECT_EQ(board_.Ask("/dev/hal output " + kInputTimeslot), "ok source 37");
  EXPECT_EQ(board_.Ask("/dev/hal output 38"), "ok source " + kOutputTimeslot);

  ASSERT_TRUE(controller_.Send(
      Command(8, kInput, [](LGCP::Command& c) { c.select_ioctl().select_dtmf_enable().setValue(true); })));
  ExpectNext(controller_, {8, kInput, "success"});
  ASSERT_TRUE(controller_.Send(
      Command(9, kInput, [](LGCP::Command& c) { c.select_ioctl().select_vad_enable().setValue(true); })));
  ExpectNext(controller_, {9, kInput, "success"});
  // A short record ahead of it is dropped; the digit still comes through.
  EXPECT_EQ(board_.Ask("/dev/dtmf short 8"), "ok");
  EXPECT_EQ(board_.Ask("/dev/dtmf detect " + kInputTimeslot + " 5 77"), "ok");
  LGCP::Message digit;
  ASSERT_TRUE(controller_.Read(digit));
  ASSERT_TRUE(digit.has_slot());
  EXPECT_EQ(digit.get_slot().getValue(), kInput);
  ASSERT_TRUE(digit.get_pdu().is_signal() && digit.get_pdu().get_signal().is_tonec());
  const LGCP::TonecEvent& event = digit.get_pdu().get_signal().get_tonec();
  EXPECT_EQ(event.get_timestamp().getValue(), 77);
  ASSERT_TRUE(event.get_event().is_dtmf());
  EXPECT_EQ(event.get_event().get_dtmf().getValue(), 5u);

  for (int seq : {10, 11}) {
    const unsigned slot = seq == 10 ? kInput : kOutput;
    ASSERT_TRUE(controller_.Send(Destroy(seq, slot)));
    LGCP::Message answer;
    do {
      ASSERT_TRUE(controller_.Read(answer));
    } while (!answer.has_seq());
    EXPECT_EQ(Describe(answer), "success");
  }
  EXPECT_EQ(board_.Ask("/dev/dtmf timeslot " + kInputTimeslot), "ok detector=0 id=1 lms=0 rejection=0 iva=0");
  EXPECT_EQ(board_.Ask("/dev/dsp timeslot " + kInputTimeslot), "ok enabled=0x0 filters=0");
  EXPECT_EQ(board_.Ask("/dev/mixer summators 0"), "ok");
}

}  // namespace
}  // namespace e2e
