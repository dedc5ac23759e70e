#include "platform/sim/MccDriver.h"

#include "platform/Clock.h"
#include "platform/Device.h"
#include "platform/sim/Board.h"
#include "platform/sim/HalDriver.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <vector>

namespace sim {
namespace {

constexpr unsigned long kAllocate = 0x40144d00;
constexpr unsigned long kTimeslot = 0x20004d02;
constexpr unsigned long kQuery = 0x80104d03;
constexpr int kFirst = MccDriver::kFirstSwitchChannel;

using Bytes = std::vector<uint8_t>;

class MccDriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Board::instance().Reset();
    driver_ = Board::instance().Find<MccDriver>(MccDriver::kPath);
    ASSERT_NE(driver_, nullptr);
  }
  void TearDown() override {
    for (int fd : fds_) {
      platform::Close(fd);
    }
  }

  int Open(int flags = O_RDWR | O_NONBLOCK) {
    const int fd = platform::Open(MccDriver::kPath, flags);
    EXPECT_GE(fd, 0);
    fds_.push_back(fd);
    return fd;
  }
  // The record as the board's driver reads it: five big-endian words.
  static int Allocate(int fd, uint8_t type, uint16_t rx_size, uint8_t reserved, uint8_t rx_threshold,
                      uint8_t tx_threshold) {
    uint8_t record[20] = {};
    record[3] = type;
    record[6] = static_cast<uint8_t>(rx_size >> 8);
    record[7] = static_cast<uint8_t>(rx_size);
    record[11] = reserved;
    record[15] = rx_threshold;
    record[19] = tx_threshold;
    return platform::Ioctl(fd, kAllocate, record);
  }
  // An open allocated as a channel of the type; its switch channel.
  int OpenChannel(uint8_t type, int* fd_out, uint16_t rx_size = 512, int flags = O_RDWR | O_NONBLOCK) {
    const int fd = Open(flags);
    EXPECT_EQ(Allocate(fd, type, rx_size, 0, 1, 4), 0);
    *fd_out = fd;
    return platform::IoctlValue(fd, kTimeslot, 0);
  }
  static short PollNow(int fd) {
    pollfd entry{fd, POLLIN | POLLOUT, 0};
    return poll(&entry, 1, 0) == 1 ? entry.revents : 0;
  }
  // The next read: its bytes, or the errno as text when it fails.
  static std::string ReadOne(int fd) {
    uint8_t buffer[2048];
    errno = 0;
    const ssize_t size = platform::Read(fd, buffer, sizeof buffer);
    if (size < 0) {
      return strerrorname_np(errno);
    }
    return std::string(buffer, buffer + size);
  }

  MccDriver* driver_ = nullptr;
  std::vector<int> fds_;
};

TEST_F(MccDriverTest, ChannelIsFreedWhenItsLastDescriptorCloses) {
  int fd;
  const int channel = OpenChannel(0, &fd);
  errno = 0;
  EXPECT_EQ(Allocate(fd, 0, 512, 0, 1, 4), -1) << "one allocation per open";
  EXPECT_EQ(errno, EBUSY);

  const int duplicate = dup(fd);
  platform::Close(fd);
  EXPECT_TRUE(driver_->ChannelOf(channel));
  close(duplicate);
  EXPECT_FALSE(driver_->ChannelOf(channel));
  fds_.clear();

  int again;
  EXPECT_EQ(OpenChannel(2, &again), channel) << "the freed channel is handed out again";
}

TEST_F(MccDriverTest, BlockedChannelPushesBackUntilUnblocked) {
  int fd;
  const int channel = OpenChannel(3, &fd);
  EXPECT_EQ(PollNow(fd), POLLOUT);
  ASSERT_TRUE(driver_->SetBlocked(channel, true));
  errno = 0;
  EXPECT_EQ(platform::Write(fd, "held", 4), -1);
  EXPECT_EQ(errno, EAGAIN);
  EXPECT_EQ(PollNow(fd), 0) << "a refused write leaves the descriptor unwritable";
  EXPECT_EQ(platform::Write(fd, "held", 4), -1);
  EXPECT_TRUE(driver_->ChannelOf(channel)->blocked);

  ASSERT_TRUE(driver_->Receive(channel, {'r'}));
  EXPECT_EQ(PollNow(fd), POLLIN) << "receiving goes on while blocked";
  EXPECT_EQ(ReadOne(fd), "r");

  ASSERT_TRUE(driver_->SetBlocked(channel, false));
  EXPECT_EQ(PollNow(fd), POLLOUT);
  EXPECT_EQ(platform::Write(fd, "sent", 4), 4);
  EXPECT_EQ(driver_->TakeTransmitted(channel), std::vector<Bytes>{Bytes({'s', 'e', 'n', 't'})});

  // A stalled channel still goes when the server closes it.
  ASSERT_TRUE(driver_->SetBlocked(channel, true));
  EXPECT_EQ(platform::Write(fd, "held", 4), -1);
  platform::Close(fd);
  fds_.clear();
  EXPECT_FALSE(driver_->ChannelOf(channel));
}

// A test on the far side of a line endpoint: what the channel sends on it
// can be taken, what arrives on it reaches the channel.
TEST_F(MccDriverTest, TestPlaysTheFarSideOfALine) {
  int fd;
  const int channel = OpenChannel(3, &fd, 4);
  TdmSwitch& tdm = Board::instance().Find<HalDriver>(HalDriver::kPath)->Switch();
  ASSERT_EQ(tdm.Connect(5, channel), 0);
  ASSERT_EQ(tdm.Connect(channel, 5), 0);
  ASSERT_EQ(platform::Write(fd, "hi", 2), 2);
  EXPECT_EQ(driver_->Control({"line-tx", "5"}).text, "6869");
  EXPECT_EQ(driver_->Control({"line-tx", "5"}).text, "") << "taken once";

  EXPECT_TRUE(driver_->Control({"line-rx", "5", "6f6b"}).ok);
  EXPECT_EQ(ReadOne(fd), "ok");
  EXPECT_TRUE(driver_->Control({"line-rx", "5", "0102030405"}).ok) << "too long for the channel: lost on the way";
  EXPECT_EQ(ReadOne(fd), "EAGAIN");
  for (const std::vector<std::string>& bad : {std::vector<std::string>{"line-rx", "5", "6f6"},
                                              {"line-rx", std::to_string(channel), "6f"},
                                              {"line-rx", "5", ""}}) {
    EXPECT_FALSE(driver_->Control(bad).ok) << bad[2];
  }
}

}  // namespace
}  // namespace sim
