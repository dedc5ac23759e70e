#include "platform/sim/E1CasDriver.h"

#include "platform/Device.h"
#include "platform/sim/Board.h"

#include <gtest/gtest.h>

#include <fcntl.h>

#include <cerrno>
#include <cstdint>
#include <vector>

namespace sim {
namespace {

constexpr unsigned long kOpenTrunk = 0x80044300;
constexpr unsigned long kCloseTrunk = 0x80044301;
constexpr unsigned long kSet = 0xc00c4302;
constexpr unsigned long kGet = 0xc00c4303;
constexpr unsigned long kConfigure = 0xc0104304;

class E1CasDriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Board::instance().Reset();
    driver_ = Board::instance().Find<E1CasDriver>(E1CasDriver::kPath);
    ASSERT_NE(driver_, nullptr);
    fd_ = platform::Open("/dev/e1-cas", O_RDWR | O_NONBLOCK);
    ASSERT_GE(fd_, 0);
  }
  void TearDown() override { platform::Close(fd_); }

  // Configure record {trunk, timeslot, 0, bits, pad, mode}.
  int Configure(uint8_t trunk, uint8_t timeslot, uint8_t bits, uint8_t mode) {
    uint8_t record[16] = {0, 0, 0, trunk, 0, 0, 0, timeslot, 0, bits, 0, 0, 0, 0, 0, mode};
    return platform::Ioctl(fd_, kConfigure, record);
  }

  E1CasDriver* driver_ = nullptr;
  int fd_ = -1;
};

TEST_F(E1CasDriverTest, ChannelsWorkOnlyOnOpenTrunks) {
  EXPECT_EQ(Configure(1, 5, 0x9, 0), -1);
  ASSERT_EQ(platform::IoctlValue(fd_, kOpenTrunk, 1), 0);
  EXPECT_TRUE(driver_->IsTrunkOpen(1));
  ASSERT_EQ(Configure(1, 5, 0x19, 0), 0);
  EXPECT_EQ(driver_->ChannelOf(1, 5).tx, 0x9);

  uint8_t set[12] = {0, 0, 0, 1, 0, 0, 0, 5, 0, 0x3, 0, 0};
  ASSERT_EQ(platform::Ioctl(fd_, kSet, set), 0);
  driver_->ReceiveBits(1, 5, 0xA);
  uint8_t get[12] = {0, 0, 0, 1, 0, 0, 0, 5, 0, 0, 0, 0};
  ASSERT_EQ(platform::Ioctl(fd_, kGet, get), 0);
  EXPECT_EQ(get[8], 0xA);
  EXPECT_EQ(get[9], 0x3);

  ASSERT_EQ(platform::IoctlValue(fd_, kCloseTrunk, 1), 0);
  EXPECT_EQ(platform::Ioctl(fd_, kGet, get), -1);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(platform::IoctlValue(fd_, kOpenTrunk, 4), -1);
}

TEST_F(E1CasDriverTest, ReceivedBitsOfConfiguredChannelAreReadAsEvents) {
  ASSERT_EQ(platform::IoctlValue(fd_, kOpenTrunk, 3), 0);
  driver_->ReceiveBits(3, 7, 0x5);
  ASSERT_EQ(Configure(3, 7, 0x1, 0), 0);
  driver_->ReceiveBits(3, 7, 0xD);

  uint8_t event[16] = {};
  ASSERT_EQ(platform::Read(fd_, event, sizeof event), 12);
  const std::vector<uint8_t> expected = {0, 0, 0, 3, 0, 0, 0, 7, 0xD, 0x1, 0, 0};
  EXPECT_EQ(std::vector<uint8_t>(event, event + 12), expected);
  EXPECT_EQ(platform::Read(fd_, event, sizeof event), -1);
  EXPECT_EQ(errno, EAGAIN);

  ASSERT_EQ(Configure(3, 7, 0, 1), 0);
  EXPECT_EQ(driver_->Control({"channel", "3", "7"}).text, "closed");
}

}  // namespace
}  // namespace sim
