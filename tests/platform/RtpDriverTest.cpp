#include "platform/sim/RtpDriver.h"

#include "platform/ByteOrder.h"
#include "platform/Device.h"
#include "platform/sim/Board.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <vector>

namespace sim {
namespace {

constexpr unsigned long kBegin = 0xC02C5200;
constexpr unsigned long kAddChannel = 0xC0105202;
constexpr int kPool = RtpDriver::kLastChannel - RtpDriver::kFirstChannel + 1;

class RtpDriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Board::instance().Reset();
    rtp_ = Board::instance().Find<RtpDriver>(RtpDriver::kPath);
  }
  void TearDown() override {
    for (int fd : fds_) {
      close(fd);
    }
    Board::instance().Reset();
  }

  // A begun session; its descriptor.
  int Begin() {
    const int fd = platform::Open(RtpDriver::kPath, O_RDWR);
    EXPECT_GE(fd, 0);
    uint8_t record[44] = {};
    EXPECT_EQ(platform::Ioctl(fd, kBegin, record), 0);
    fds_.push_back(fd);
    return fd;
  }
  // The channel given, or -errno.
  int32_t AddChannel(int fd, int32_t wanted) {
    uint8_t record[16] = {};
    platform::BeWriter(record, sizeof record).U32(static_cast<uint32_t>(wanted));
    if (platform::Ioctl(fd, kAddChannel, record) != 0) {
      return -errno;
    }
    return static_cast<int32_t>(platform::LoadBe32(record));
  }

  RtpDriver* rtp_ = nullptr;
  std::vector<int> fds_;
};

TEST_F(RtpDriverTest, HandsOutTheLowestFreeChannelOfThePool) {
  const int first = Begin();
  const int second = Begin();
  const int third = Begin();
  EXPECT_EQ(AddChannel(first, -1), 2048);
  EXPECT_EQ(AddChannel(second, -1), 2049);
  EXPECT_EQ(AddChannel(third, 2049), -EBUSY) << "held by another session";
  EXPECT_EQ(AddChannel(second, 2049), 2049) << "its own again";
  EXPECT_EQ(AddChannel(third, -1), 2050);

  // A session moved to another channel frees its old one; a closed one frees its own.
  EXPECT_EQ(AddChannel(second, 3000), 3000);
  ASSERT_EQ(close(first), 0);
  fds_.erase(fds_.begin());
  const int fourth = Begin();
  EXPECT_EQ(AddChannel(fourth, -1), 2048);
  EXPECT_EQ(AddChannel(Begin(), -1), 2049);
  EXPECT_EQ(AddChannel(Begin(), 5000), 5000) << "a channel off the pool, asked for by number";
  EXPECT_EQ(rtp_->Opened(), 6u);

  // Four of the pool held so far; the rest go, then none is left. Each open
  // takes two descriptors of this process.
  rlimit limit{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limit), 0);
  limit.rlim_cur = limit.rlim_max;
  if (setrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur < 3 * kPool) {
    GTEST_SKIP() << "too few descriptors to hold the whole pool";
  }
  for (int i = 4; i < kPool; ++i) {
    ASSERT_GE(AddChannel(Begin(), -1), RtpDriver::kFirstChannel);
  }
  EXPECT_EQ(AddChannel(Begin(), -1), -ENOSPC);
}

}  // namespace
}  // namespace sim
