#include "hardware/SpiLineChips.h"

#include "tests/hardware/SimulatedHal.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <optional>
#include <string>
#include <vector>

namespace {

using LineState = SpiLineChips::LineState;
using Request = sim::LineChips::Request;

constexpr unsigned long kReadRequest = 0xc0034203;

class SpiLineChipsTest : public SimulatedHalTest {};

TEST_F(SpiLineChipsTest, StartInitialisesAndEnablesSevenChannels) {
  SpiLineChips chips;
  ASSERT_TRUE(chips.IsOpen());
  for (int channel = 0; channel < 7; ++channel) {
    SCOPED_TRACE(channel);
    EXPECT_EQ(Chips().Register(channel, 0x30), 0x08);
    EXPECT_EQ(Chips().Register(channel, 0x32), 0x00);
    EXPECT_EQ(Chips().Register(channel, 0x34), 0x60);
    EXPECT_EQ(Chips().Register(channel, 0x57), 0x30);
  }
  EXPECT_EQ(Chips().Register(7, 0x30), 0x00);
  EXPECT_EQ(Chips().Register(7, 0x32), 0x80);

  const std::vector<Request> first_channel = {{true, 0, 0x32, 0x80}, {true, 0, 0x30, 0x08}, {true, 0, 0x57, 0x30},
                                              {true, 0, 0x34, 0x60}, {true, 0, 0x35, 0},    {true, 0, 0x36, 0},
                                              {true, 0, 0x37, 0},    {true, 0, 0x32, 0x00}};
  const auto requests = Chips().Requests();
  ASSERT_EQ(requests.size(), 7 * first_channel.size());
  EXPECT_EQ(std::vector<Request>(requests.begin(), requests.begin() + 8), first_channel);
}

TEST_F(SpiLineChipsTest, StatusRegisterDecodes) {
  SpiLineChips chips;
  const struct {
    uint8_t status;
    LineState state;
  } kCases[] = {
      {0xC5, LineState::normal},      {0x85, LineState::rai},         {0x45, LineState::ais},
      {0x05, LineState::ais},         {0x04, LineState::lossCarrier}, {0x01, LineState::lossBF},
      {0xC4, LineState::lossCarrier}, {0xC1, LineState::lossBF},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(static_cast<int>(c.status));
    Chips().SetRegister(3, 0x33, c.status);
    const auto status = chips.ReadStatus(3);
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(status->state, c.state);
    EXPECT_EQ(status->slips, 0);
  }
}

// One edge flag serves all channels: a raised slips bit counts once, until a
// channel without it clears the flag.
TEST_F(SpiLineChipsTest, SlipsBitCountsOnceAcrossChannels) {
  SpiLineChips chips;
  const struct {
    int channel;
    uint8_t status;
    int slips;
  } kSteps[] = {
      {1, 0xE5, 1}, {2, 0xE5, 0}, {1, 0xE5, 0}, {3, 0xC5, 0}, {1, 0xE5, 1},
  };
  for (const auto& step : kSteps) {
    Chips().SetRegister(step.channel, 0x33, step.status);
    const auto status = chips.ReadStatus(step.channel);
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(status->slips, step.slips) << "channel " << step.channel;
  }
}

TEST_F(SpiLineChipsTest, FailedStatusReadReportsNothing) {
  SpiLineChips chips;
  FailNext(kReadRequest, EIO, 1);
  LogCapture log;
  EXPECT_EQ(chips.ReadStatus(2), std::nullopt);
  EXPECT_EQ(log.Text(), "spi: read error: channel=2 addr=51\n");
  EXPECT_TRUE(chips.IsPresent());
  EXPECT_TRUE(chips.ReadStatus(2).has_value());
}

TEST_F(SpiLineChipsTest, HalWithoutSpiStopsAllTraffic) {
  SpiLineChips chips;
  Chips().SetPresent(false);
  {
    LogCapture log;
    EXPECT_EQ(chips.ReadStatus(0), std::nullopt);
    EXPECT_EQ(log.Text(), "spi: hal without spi\n");
  }
  EXPECT_FALSE(chips.IsPresent());

  Chips().SetPresent(true);
  Chips().ClearRequests();
  LogCapture log;
  EXPECT_EQ(chips.ReadStatus(0), std::nullopt);
  EXPECT_EQ(chips.read(0, 0x33), 0);
  chips.write(0, 0x30, 1);
  chips.init_channel(0);
  chips.enable_channel(9);
  chips.clock(3);
  EXPECT_TRUE(Chips().Requests().empty());
  EXPECT_EQ(log.Text(), "");
}

TEST_F(SpiLineChipsTest, ClockMasterIsOneChannelOrNone) {
  SpiLineChips chips;
  chips.clock(7);
  for (int channel = 0; channel < 8; ++channel) {
    EXPECT_EQ(Chips().Register(channel, 0x57), channel == 7 ? 0x38 : 0x30) << channel;
  }
  chips.clock(2);
  EXPECT_EQ(Chips().Register(7, 0x57), 0x30);
  EXPECT_EQ(Chips().Register(2, 0x57), 0x38);
  LogCapture log;
  chips.clock(-1);
  EXPECT_EQ(Chips().Register(2, 0x57), 0x30);
  EXPECT_EQ(log.Text(), "spi: clock master disabled\n");
}

TEST_F(SpiLineChipsTest, ChannelsOutsideRangeAreRefused) {
  SpiLineChips chips;
  Chips().ClearRequests();
  const struct {
    void (*operation)(SpiLineChips&);
    const char* line;
  } kCases[] = {
      {[](SpiLineChips& c) { c.init_channel(8); }, "spi: bad channel for init 8\n"},
      {[](SpiLineChips& c) { c.enable_channel(-1); }, "spi: bad channel for enable -1\n"},
      {[](SpiLineChips& c) { c.disable_channel(255); }, "spi: bad channel for disable 255\n"},
      {[](SpiLineChips& c) { c.clock(-2); }, "spi: bad channel for set clock master -2\n"},
      {[](SpiLineChips& c) { c.clock(8); }, "spi: bad channel for set clock master 8\n"},
  };
  for (const auto& c : kCases) {
    LogCapture log;
    c.operation(chips);
    EXPECT_EQ(log.Text(), c.line);
  }
  EXPECT_TRUE(Chips().Requests().empty());
}

TEST_F(SpiLineChipsTest, EndDisablesAllEightChannelsAndFreesClock) {
  {
    SpiLineChips chips;
    chips.clock(4);
  }
  for (int channel = 0; channel < 8; ++channel) {
    EXPECT_EQ(Chips().Register(channel, 0x32), 0x80) << channel;
    EXPECT_EQ(Chips().Register(channel, 0x57), 0x30) << channel;
  }
}

TEST_F(SpiLineChipsTest, FailedOpenIsRetriedByNextChannelOperation) {
  SetDeviceAbsent(true);
  SpiLineChips chips;
  EXPECT_FALSE(chips.IsOpen());
  EXPECT_TRUE(Chips().Requests().empty());

  SetDeviceAbsent(false);
  chips.disable_channel(7);
  EXPECT_TRUE(chips.IsOpen());
  EXPECT_EQ(Chips().Register(6, 0x32), 0x00);
  EXPECT_EQ(Chips().Register(7, 0x32), 0x80);
}

}  // namespace
