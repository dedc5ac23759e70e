// The frames of PSTN links back to back through the slots, the switch and a
// simulated cable, tapped on each slot's channel and read by tshark.
#include "tests/signalling/SignallingSlotsFixture.h"
#include "tests/support/Pcap.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

namespace {

using namespace signalling_slots_test;
using test_support::RunTshark;

class SlotCapture : public SignallingSlotsTest {
 protected:
  void SetUp() override {
    if (!test_support::HaveTshark()) {
      GTEST_SKIP() << "tshark is not installed";
    }
    SignallingSlotsTest::SetUp();
  }
  TempDir dir_{"slots"};
};

TEST_F(SlotCapture, LinkFramesDecodeCleanly) {
  const struct {
    const char* name;
    PstnFill a;
    PstnFill b;
    unsigned timeslot;
    uint32_t link_type;
    Bytes pseudo;  // as sent by the tapped side
    const char* bad;
    const char* layer3;  // the payloads are made up: left undecoded
  } kCases[] = {
      {"ss7",
       Ss7(1),
       Ss7(2),
       20,
       test_support::kLinkTypeMtp2,
       {1, 0, 0, 0},
       "_ws.malformed || _ws.expert.severity >= 6291456",
       "mtp3"},
      {"pri",
       Isdn(LGCP::IsdnType::pri, false, 1),
       Isdn(LGCP::IsdnType::pri, true, 2),
       21,
       test_support::kLinkTypeLinuxLapd,
       {0, 4, 0x20, 0xFD, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x30},
       "_ws.malformed || _ws.expert.severity >= 8388608",
       "q931"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    CreateTrunk(1, 0, c.timeslot);
    CreateTrunk(2, 1, c.timeslot);
    ASSERT_TRUE(mcc_->JoinLines(static_cast<int>(c.timeslot), 32 + static_cast<int>(c.timeslot)));
    CreatePstn(10, c.a);
    CreatePstn(11, c.b);
    Connect(1, 10);
    Connect(2, 11);
    // Slot 10 took the first free channel.
    const std::vector<MccDriver::Channel> channels = mcc_->Channels();
    ASSERT_EQ(channels.size(), 2u);
    std::vector<test_support::HdlcEnd::Frame> tapped;
    const auto tap = [&] {
      for (Bytes& frame : mcc_->TakeTransmitted(channels.front().switch_channel)) {
        tapped.push_back({0, std::move(frame)});
      }
    };
    for (int step = 0; step < 100; ++step) {
      Run(100);
      tap();
    }
    for (uint8_t i = 0; i < 20; ++i) {
      UserData(10, {0x83, i, 0xa0, 0x01, 0x02});
      UserData(11, {0x83, i, 0xb0, 0x01, 0x02});
      Run(100);
      tap();
    }
    ASSERT_GT(tapped.size(), 20u);
    const std::string path = dir_.path() + "/" + c.name + ".pcap";
    ASSERT_TRUE(test_support::WritePcap(path, c.link_type, c.pseudo, tapped));
    EXPECT_EQ(RunTshark({"-r", path, "--disable-protocol", c.layer3, "-Y", c.bad}), "");
    for (unsigned slot : {10, 11, 1, 2}) {
      Destroy(slot);
    }
    Received();
  }
}

}  // namespace
