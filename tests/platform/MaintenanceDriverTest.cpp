#include "platform/sim/MaintenanceDriver.h"

#include "platform/Device.h"
#include "platform/sim/Board.h"

#include <gtest/gtest.h>

#include <fcntl.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

namespace sim {
namespace {

class MaintenanceDriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Board::instance().Reset();
    driver_ = Board::instance().Find<MaintenanceDriver>(MaintenanceDriver::kPath);
    ASSERT_NE(driver_, nullptr);
    fd_ = platform::Open("/dev/maintenance", O_RDWR);
    ASSERT_GE(fd_, 0);
  }
  void TearDown() override { platform::Close(fd_); }

  MaintenanceDriver* driver_ = nullptr;
  int fd_ = -1;
};

TEST_F(MaintenanceDriverTest, StatusRecordCarriesFramerCounters) {
  driver_->SetStatus(2, {4, 0x01020304, 5, 6, 7, 8});
  uint8_t record[80] = {};
  record[3] = 2;
  ASSERT_EQ(platform::Ioctl(fd_, 0xc0504d03, record), 0);
  const uint8_t counters[] = {1, 2, 3, 4, 0, 0, 0, 5, 0, 0, 0, 6, 0, 0, 0, 7, 0, 0, 0, 8};
  EXPECT_EQ(0, memcmp(record + 36, counters, sizeof counters));
  const uint8_t state[] = {0, 0, 0, 4};
  EXPECT_EQ(0, memcmp(record + 76, state, sizeof state));

  const struct { uint8_t trunk[4]; } kBadTrunks[] = {{{0, 0, 0, 4}}, {{0xFF, 0xFF, 0xFF, 0xFF}}};
  for (const auto& bad : kBadTrunks) {
    uint8_t refused[80] = {};
    memcpy(refused, bad.trunk, 4);
    EXPECT_EQ(platform::Ioctl(fd_, 0xc0504d03, refused), -1);
    EXPECT_EQ(errno, EINVAL);
  }
}

TEST_F(MaintenanceDriverTest, TransmitClockMaskIsTheArgument) {
  ASSERT_EQ(platform::IoctlValue(fd_, 0xc0044d0b, 0x5), 0);
  ASSERT_EQ(platform::IoctlValue(fd_, 0xc0044d0b, 0x1), 0);
  EXPECT_EQ(driver_->TclkWrites(), (std::vector<unsigned long>{0x5, 0x1}));
  EXPECT_EQ(driver_->Control({"tclk"}).text, "1");
}

}  // namespace
}  // namespace sim
