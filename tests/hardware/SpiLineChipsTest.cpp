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
