#include "hardware/SpiLineChips.h"

#include "tests/hardware/SimulatedHal.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <optional>
#include <string>
#include <vector>

namespace {

using ctrlsrv_test::Capture;

using Request = sim::LineChips::Request;

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

TEST_F(SpiLineChipsTest, HalWithoutSpiStopsAllTraffic) {
  SpiLineChips chips;
  Chips().SetPresent(false);
  {
    Capture log(std::clog);
    EXPECT_EQ(chips.ReadStatus(0), std::nullopt);
    EXPECT_EQ(log.Text(), "spi: hal without spi\n");
  }
  EXPECT_FALSE(chips.IsPresent());

  Chips().SetPresent(true);
  Chips().ClearRequests();
  Capture log(std::clog);
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
  Capture log(std::clog);
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
    Capture log(std::clog);
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
