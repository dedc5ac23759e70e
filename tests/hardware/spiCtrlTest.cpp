#include "hardware/spiCtrl.h"

#include "tests/hardware/ControllerFixture.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

namespace {

using ctrlsrv_test::Capture;

using Strings = std::vector<std::string>;

class SpiCtrlTest : public hardware_test::ControllerTest {
 protected:
  void Start(spiCtrl& spi) {
    link.server.Bind(&spi);
    if (link.IsConnected()) {
      link.server.OnConnect();
    } else {
      link.Connect();
    }
    Received();
  }
  // "trunk 6 state 0 slips 1" of each line signal.
  Strings Lines(const Strings& received) {
    Strings lines;
    for (const std::string& text : received) {
      EXPECT_NE(text.find(" bf 0 carrier 0 ais 0 rai 0 bri"), std::string::npos) << text;
      lines.push_back(text.substr(0, text.find(" bf ")));
    }
    return lines;
  }
};

TEST_F(SpiCtrlTest, ReportsEveryChannelOnceASecondWhileConnected) {
  spiCtrl spi;
  const uint8_t kStatus[8] = {0xC5, 0x85, 0x45, 0x05, 0x04, 0x01, 0xE5, 0xE5};
  for (int channel = 0; channel < 8; ++channel) {
    Chips().SetRegister(channel, 0x33, kStatus[channel]);
  }
  Start(spi);
  EXPECT_EQ(AdvanceMs(999), Strings{});
  EXPECT_EQ(Lines(AdvanceMs(1)),
            (Strings{"trunk 0 state 0 slips 0", "trunk 1 state 4 slips 0", "trunk 2 state 3 slips 0",
                     "trunk 3 state 3 slips 0", "trunk 4 state 2 slips 0", "trunk 5 state 1 slips 0",
                     "trunk 6 state 0 slips 1", "trunk 7 state 0 slips 0"}));

  // The edge left up by channel 7 holds across passes: channel 0 shows the
  // bit again without a count, channel 1 clears it, channel 6 counts again.
  Chips().SetRegister(0, 0x33, 0xE5);
  const Strings second = Lines(AdvanceMs(1000));
  ASSERT_EQ(second.size(), 8u);
  EXPECT_EQ(second[0], "trunk 0 state 0 slips 0");
  EXPECT_EQ(second[6], "trunk 6 state 0 slips 1");

  link.server.Deactivate();
  EXPECT_FALSE(spi.IsPolling());
}

// A failed read says nothing about the line: no lossCarrier for it, and the
// chips stay in use.
TEST_F(SpiCtrlTest, FailedReadSendsNothingForThatChannel) {
  spiCtrl spi;
  Start(spi);
  FailNext(0xc0034203, EIO, 1);
  Capture log(std::clog);
  const Strings lines = Lines(AdvanceMs(1000));
  EXPECT_NE(log.Text().find("spi: read error: channel=0 addr=51\n"), std::string::npos) << log.Text();
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[0].substr(0, 8), "trunk 1 ");
  EXPECT_EQ(AdvanceMs(1000).size(), 8u);
}

TEST_F(SpiCtrlTest, SpiAbsentEndsThePassAndTheCycle) {
  const struct {
    const char* name;
    void (*discover)(spiCtrl&);
  } kCases[] = {
      {"by the status pass", [](spiCtrl&) { platform::clock_control::Advance(1000); }},
      {"by the clock control", [](spiCtrl& spi) { spi.clock(-1); }},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    Chips().SetPresent(true);
    spiCtrl spi;
    Start(spi);
    Chips().SetPresent(false);
    Capture log(std::clog);
    c.discover(spi);
    EXPECT_EQ(Received(), Strings{});
    EXPECT_EQ(log.Text().find("spi: read error"), std::string::npos);
    EXPECT_FALSE(spi.IsPolling());
    Chips().SetPresent(true);
    link.server.OnConnect();
    EXPECT_EQ(AdvanceMs(5000), Strings{});
  }
}

}  // namespace
