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

TEST_F(MccDriverTest, AllocationChecksTheRecord) {
  const struct {
    const char* name;
    uint8_t type;
    uint16_t rx_size;
    uint8_t reserved;
    int error;
  } kCases[] = {
      {"data", 0, 512, 0, 0},
      {"bri", 1, 512, 0, 0},
      {"transparent", 2, 1024, 0, 0},
      {"ss7", 3, 512, 0, 0},
      {"unknown type", 4, 512, 0, EINVAL},
      {"reserved word set", 0, 512, 1, EINVAL},
      {"no receive size", 0, 0, 0, EINVAL},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const int fd = Open();
    errno = 0;
    EXPECT_EQ(Allocate(fd, c.type, c.rx_size, c.reserved, 1, 4), c.error == 0 ? 0 : -1);
    EXPECT_EQ(errno, c.error);
    const int channel = platform::IoctlValue(fd, kTimeslot, 0);
    if (c.error != 0) {
      EXPECT_EQ(channel, -1);
      continue;
    }
    ASSERT_GE(channel, kFirst);
    const auto seen = driver_->ChannelOf(channel);
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->type, c.type);
    EXPECT_EQ(seen->rx_packet_size, c.rx_size);
    EXPECT_EQ(seen->rx_threshold, 1u);
    EXPECT_EQ(seen->tx_threshold, 4u);
  }
  EXPECT_EQ(driver_->Channels().size(), 4u);
}

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

TEST_F(MccDriverTest, QueryCountsFreeChannelsUntilThePoolRunsOut) {
  uint8_t query[16] = {};
  const int reader = Open(O_RDONLY);
  ASSERT_EQ(platform::Ioctl(reader, kQuery, query), 0);
  EXPECT_EQ(query[3], MccDriver::kChannels);
  EXPECT_EQ(query[15], MccDriver::kChannels);

  int fd;
  for (int i = 0; i < MccDriver::kChannels; ++i) {
    ASSERT_EQ(OpenChannel(0, &fd), kFirst + i);
  }
  const int late = Open();
  errno = 0;
  EXPECT_EQ(Allocate(late, 0, 512, 0, 1, 4), -1);
  EXPECT_EQ(errno, ENOSPC);
  ASSERT_EQ(platform::Ioctl(reader, kQuery, query), 0);
  EXPECT_EQ(query[3], 0);
  EXPECT_EQ(query[7], 0);
  EXPECT_EQ(query[11], 0);

  // A channel closed behind the device calls' back is free to the very next
  // request, without waiting for the clock to move.
  platform::clock_control::Freeze(timeval{1000, 0});
  const int first = fds_[1];
  const int second = fds_[2];
  fds_.erase(fds_.begin() + 1, fds_.begin() + 3);
  close(first);
  EXPECT_EQ(Allocate(late, 0, 512, 0, 1, 4), 0);
  close(second);
  ASSERT_EQ(platform::Ioctl(reader, kQuery, query), 0);
  EXPECT_EQ(query[3], 1);
  platform::clock_control::Release();
}

TEST_F(MccDriverTest, FramesTravelOnePerReadAndWrite) {
  int fd;
  const int channel = OpenChannel(0, &fd, 8);
  EXPECT_FALSE(driver_->Receive(channel, {})) << "empty frame";
  EXPECT_FALSE(driver_->Receive(channel, Bytes(9, 'x'))) << "longer than the receive size";
  ASSERT_TRUE(driver_->Receive(channel, {'a', 'b'}));
  ASSERT_TRUE(driver_->Receive(channel, Bytes(8, 'c')));
  EXPECT_EQ(ReadOne(fd), "ab");
  EXPECT_EQ(ReadOne(fd), "cccccccc");
  EXPECT_EQ(ReadOne(fd), "EAGAIN");

  EXPECT_EQ(platform::Write(fd, "one", 3), 3);
  EXPECT_EQ(platform::Write(fd, "two!", 4), 4);
  errno = 0;
  EXPECT_EQ(platform::Write(fd, "", 0), -1) << "a framed channel sends no empty frame";
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(driver_->TakeTransmitted(channel), (std::vector<Bytes>{{'o', 'n', 'e'}, {'t', 'w', 'o', '!'}}));
  EXPECT_TRUE(driver_->TakeTransmitted(channel).empty()) << "taken frames are gone";
}

TEST_F(MccDriverTest, TransparentBurstIsReadInChunksOfTheReceiveSize) {
  int fd;
  const int channel = OpenChannel(2, &fd, 4);
  ASSERT_TRUE(driver_->Receive(channel, {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'}));
  EXPECT_EQ(ReadOne(fd), "0123");
  EXPECT_EQ(ReadOne(fd), "4567");
  EXPECT_EQ(ReadOne(fd), "89");
  EXPECT_EQ(platform::Write(fd, "", 0), 0);
}

TEST_F(MccDriverTest, RequestsBeforeAllocationAndWrongModesFail) {
  const int fd = Open();
  errno = 0;
  EXPECT_EQ(platform::Write(fd, "x", 1), -1);
  EXPECT_EQ(errno, EINVAL);

  int write_only;
  const int player = OpenChannel(2, &write_only, 1024, O_WRONLY | O_NONBLOCK);
  EXPECT_EQ(driver_->ChannelOf(player)->open_flags & O_ACCMODE, O_WRONLY);
  EXPECT_EQ(ReadOne(write_only), "EBADF");
  EXPECT_FALSE(driver_->Receive(kFirst + 5, {1})) << "no such channel";
}

TEST_F(MccDriverTest, ReceiveFailureKeepsItsPlaceAmongFrames) {
  int fd;
  const int channel = OpenChannel(0, &fd);
  ASSERT_TRUE(driver_->Receive(channel, {'a'}));
  ASSERT_TRUE(driver_->ReceiveError(channel, EIO));
  ASSERT_TRUE(driver_->Receive(channel, {'b'}));
  EXPECT_EQ(PollNow(fd) & POLLIN, POLLIN);
  EXPECT_EQ(ReadOne(fd), "a");
  EXPECT_EQ(ReadOne(fd), "EIO");
  EXPECT_EQ(ReadOne(fd), "b");
  EXPECT_EQ(ReadOne(fd), "EAGAIN");

  ASSERT_TRUE(driver_->ReceiveError(channel, EOVERFLOW));
  EXPECT_EQ(PollNow(fd) & POLLIN, POLLIN) << "a failure alone wakes the reader";
  EXPECT_EQ(ReadOne(fd), "EOVERFLOW");
  EXPECT_EQ(PollNow(fd) & POLLIN, 0);
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

TEST_F(MccDriverTest, ControlCommandsReachTheChannels) {
  int fd;
  const int channel = OpenChannel(1, &fd);
  const std::string number = std::to_string(channel);
  const std::string path = MccDriver::kPath;
  auto control = [&](std::vector<std::string> words) {
    words.insert(words.begin(), path);
    return Board::instance().Control(words);
  };
  EXPECT_EQ(control({"channels"}).text, number + ":1");
  ASSERT_TRUE(control({"rx", number, "4142"}).ok);
  EXPECT_EQ(ReadOne(fd), "AB");
  ASSERT_TRUE(control({"rx-error", number, "EIO"}).ok);
  EXPECT_EQ(ReadOne(fd), "EIO");
  ASSERT_EQ(platform::Write(fd, "\x01\xfe", 2), 2);
  EXPECT_EQ(control({"tx", number}).text, "01fe");
  ASSERT_TRUE(control({"block", number, "on"}).ok);
  EXPECT_EQ(platform::Write(fd, "x", 1), -1);
  ASSERT_TRUE(control({"block", number, "off"}).ok);
  EXPECT_EQ(platform::Write(fd, "x", 1), 1);

  const std::vector<std::string> kRefused[] = {
      {"rx", number, "414"},
      {"rx", number, "zz"},
      {"rx", "9999", "41"},
      {"rx", std::to_string(channel + 1), "41"},
      {"rx-error", number, "X"},
      {"block", number, "maybe"},
      {"tx"},
      {"channels", "all"},
  };
  for (const auto& words : kRefused) {
    SCOPED_TRACE(words[0] + (words.size() > 1 ? " " + words[1] : ""));
    EXPECT_FALSE(control(words).ok);
  }
}

TEST_F(MccDriverTest, FramesCrossACableThroughTheSwitch) {
  TdmSwitch& tdm = Board::instance().Find<HalDriver>(HalDriver::kPath)->Switch();
  int sender_fd, near_fd, far_fd, other_far_fd;
  const int sender = OpenChannel(3, &sender_fd);
  const int near = OpenChannel(3, &near_fd);
  const int far = OpenChannel(3, &far_fd);
  const int other_far = OpenChannel(3, &other_far_fd);
  // The sender feeds line 21 and hears line 21; two channels hear line 22.
  ASSERT_EQ(tdm.Connect(21, sender), 0);
  ASSERT_EQ(tdm.Connect(near, 21), 0);
  ASSERT_EQ(tdm.Connect(far, 22), 0);
  ASSERT_EQ(tdm.Connect(other_far, 22), 0);
  ASSERT_TRUE(driver_->JoinLines(21, 22));
  EXPECT_FALSE(driver_->JoinLines(22, 23)) << "already cabled";
  EXPECT_FALSE(driver_->JoinLines(sender, 23)) << "an MCC channel is no line";

  ASSERT_EQ(platform::Write(sender_fd, "one", 3), 3);
  EXPECT_EQ(ReadOne(far_fd), "one");
  EXPECT_EQ(ReadOne(other_far_fd), "one");
  EXPECT_EQ(ReadOne(near_fd), "EAGAIN") << "a line does not echo";
  // Nothing feeds line 22, so what the far channel writes goes nowhere.
  ASSERT_EQ(platform::Write(far_fd, "back", 4), 4);
  EXPECT_EQ(ReadOne(sender_fd), "EAGAIN");

  const Reply impaired = Board::instance().Control({MccDriver::kPath, "impair", "21", "2", "3", "through"});
  ASSERT_TRUE(impaired.ok) << impaired.text;
  for (const char* frame : {"a", "b", "c", "d", "e", "f"}) {
    ASSERT_EQ(platform::Write(sender_fd, frame, 1), 1);
  }
  std::string heard;
  for (std::string one; (one = ReadOne(far_fd)) != "EAGAIN";) {
    heard += one;
  }
  // The line counts from its first frame, "one": every 2nd lost, every 3rd twice.
  EXPECT_EQ(heard, "bbdf");
  ASSERT_TRUE(driver_->SetImpairments(22, LineImpairments{0, 0, true}));
  ASSERT_TRUE(driver_->SetImpairments(21, LineImpairments{0, 0, true}));
  ASSERT_EQ(platform::Write(sender_fd, "cut", 3), 3);
  EXPECT_EQ(ReadOne(far_fd), "EAGAIN");
  EXPECT_FALSE(Board::instance().Control({MccDriver::kPath, "impair", "40", "0", "0", "cut"}).ok);
}

}  // namespace
}  // namespace sim
