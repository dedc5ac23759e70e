#include "platform/ByteOrder.h"
#include "platform/Clock.h"
#include "platform/Device.h"
#include "platform/sim/Board.h"
#include "tests/platform/SimTestDriver.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

namespace sim {
namespace {

using DeviceTest = SimBoardTest;

// The thread waits in the kernel ("S" in its stat line).
bool IsAsleep(pid_t thread) {
  std::ifstream stat("/proc/self/task/" + std::to_string(thread) + "/stat");
  std::string line;
  std::getline(stat, line);
  const size_t name_end = line.rfind(')');
  return name_end != std::string::npos && line.compare(name_end, 4, ") S ") == 0;
}

short PollNow(int fd) {
  pollfd entry{fd, POLLIN, 0};
  return poll(&entry, 1, 0) == 1 ? entry.revents : 0;
}

TEST_F(DeviceTest, RequestsReachTheDriverInBoardByteOrder) {
  int fd = platform::Open(SimTestDriver::kPath, O_RDWR | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  uint8_t record[8];
  platform::BeWriter(record, sizeof record).U32(0xffffffff).U32(0x01020304);
  ASSERT_EQ(platform::Ioctl(fd, SimTestDriver::kDouble, record), 0);
  EXPECT_EQ(platform::LoadBe32(record), 0x02040608u);
  EXPECT_EQ(platform::LoadBe32(record + 4), 0x01020304u);

  ASSERT_EQ(driver_->Requests().size(), 1u);
  const std::vector<uint8_t> sent = {0xff, 0xff, 0xff, 0xff, 1, 2, 3, 4};
  EXPECT_EQ(driver_->Requests()[0].record, sent);

  // The value request answers 40 + value + requests made on this open.
  const struct {
    const char* name;
    std::function<int()> call;
    int result;
    int error;
  } kCases[] = {
      {"value request", [&] { return platform::IoctlValue(fd, SimTestDriver::kChannel, 2); }, 43, 0},
      {"value request sent as pointer", [&] { return platform::Ioctl(fd, SimTestDriver::kChannel, nullptr); }, 41, 0},
      {"unknown request", [&] { return platform::IoctlValue(fd, 0x1234, 0); }, -1, ENOTTY},
      {"record request with a number", [&] { return platform::IoctlValue(fd, SimTestDriver::kDouble, 8); }, -1, EFAULT},
      {"record request without record", [&] { return platform::Ioctl(fd, SimTestDriver::kDouble, nullptr); }, -1,
       EFAULT},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    errno = 0;
    EXPECT_EQ(c.call(), c.result);
    EXPECT_EQ(errno, c.error);
  }
  platform::Close(fd);
}

TEST_F(DeviceTest, DuplicatesShareTheOpenUntilTheLastIsClosed) {
  // Each row closes the original and its duplicate in its own way.
  const struct {
    const char* name;
    bool first_through_platform;
    bool second_through_platform;
  } kCases[] = {{"both through Close", true, true},
                {"plain close of the duplicate", true, false},
                {"plain close of both", false, false}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    driver_->released = 0;
    int fd = platform::Open(SimTestDriver::kPath, O_RDWR);
    ASSERT_GE(fd, 0);
    int copy = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    uint8_t record[8] = {};
    ASSERT_EQ(platform::Ioctl(copy, SimTestDriver::kDouble, record), 0);
    // Same open: the duplicate's request counts in the original's state.
    EXPECT_EQ(platform::IoctlValue(fd, SimTestDriver::kChannel, 0), 41);

    EXPECT_EQ(c.first_through_platform ? platform::Close(fd) : close(fd), 0);
    EXPECT_EQ(driver_->OpenCount(), 1u);
    EXPECT_EQ(driver_->released, 0);
    EXPECT_EQ(platform::IoctlValue(copy, SimTestDriver::kChannel, 0), 41);

    EXPECT_EQ(c.second_through_platform ? platform::Close(copy) : close(copy), 0);
    EXPECT_EQ(driver_->OpenCount(), 0u);
    EXPECT_EQ(driver_->released, 1);
  }
}

TEST_F(DeviceTest, InjectedFailuresHitTheNamedCallsOnly) {
  int fd = platform::Open(SimTestDriver::kPath, O_RDWR);
  ASSERT_GE(fd, 0);
  uint8_t record[8] = {};
  char buffer[8];
  const struct {
    const char* name;
    std::function<void()> inject;
    std::function<long()> call;
    unsigned failures;
    int error;
    bool opens;
  } kCases[] = {
      {"absent device", [&] { driver_->SetAbsent(true); }, [&] { return platform::Open(SimTestDriver::kPath, O_RDWR); },
       1, ENOENT, true},
      {"open", [&] { driver_->FailNext(Call::kOpen, 1, EBUSY); },
       [&] { return platform::Open(SimTestDriver::kPath, O_RDWR); }, 1, EBUSY, true},
      {"record request twice", [&] { driver_->FailNextRequest(SimTestDriver::kDouble, 2, EIO); },
       [&] { return platform::Ioctl(fd, SimTestDriver::kDouble, record); }, 2, EIO, false},
      {"value request", [&] { driver_->FailNextRequest(SimTestDriver::kChannel, 1, ENXIO); },
       [&] { return platform::IoctlValue(fd, SimTestDriver::kChannel, 0); }, 1, ENXIO, false},
      {"read", [&] { driver_->FailNext(Call::kRead, 1, EINTR); },
       [&] { return platform::Read(fd, buffer, sizeof buffer); }, 1, EINTR, false},
      {"write", [&] { driver_->FailNext(Call::kWrite, 1, EAGAIN); }, [&] { return platform::Write(fd, "x", 1); }, 1,
       EAGAIN, false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    // Another code's injection must not fire here.
    driver_->FailNextRequest(0x4321, 1, EPERM);
    c.inject();
    for (unsigned i = 0; i < c.failures; ++i) {
      errno = 0;
      EXPECT_EQ(c.call(), -1);
      EXPECT_EQ(errno, c.error);
    }
    driver_->SetAbsent(false);
    driver_->QueueToAll({7});
    long result = c.call();
    EXPECT_GE(result, 0);
    if (c.opens) {
      platform::Close(static_cast<int>(result));
    }
  }
  platform::Close(fd);
}

TEST_F(DeviceTest, HangUpReportsPollHupAndReleasesTheOpen) {
  int fd = platform::Open(SimTestDriver::kPath, O_RDWR);
  ASSERT_GE(fd, 0);
  driver_->QueueToAll({9});
  driver_->HangUpAll();
  EXPECT_EQ(driver_->released, 1);
  EXPECT_EQ(driver_->OpenCount(), 0u);
  EXPECT_NE(PollNow(fd) & POLLHUP, 0);

  char buffer[8];
  EXPECT_EQ(platform::Read(fd, buffer, sizeof buffer), 1);
  EXPECT_EQ(platform::Read(fd, buffer, sizeof buffer), 0);
  errno = 0;
  EXPECT_EQ(platform::Write(fd, "x", 1), -1);
  EXPECT_EQ(errno, EIO);
  errno = 0;
  EXPECT_EQ(platform::IoctlValue(fd, SimTestDriver::kChannel, 0), -1);
  EXPECT_EQ(errno, EIO);
  EXPECT_EQ(platform::Close(fd), 0);
  EXPECT_EQ(driver_->released, 1);
}

// A child holding a descriptor writes to it straight, bypassing the device
// calls; the board takes such records, and releases closed opens, when it next
// sweeps its ends, also when the driver looks at its opens while taking one.
TEST_F(DeviceTest, SweepTakesStraightWritesAndReleasesClosedOpens) {
  const int first = platform::Open(SimTestDriver::kPath, O_RDWR);
  const int second = platform::Open(SimTestDriver::kPath, O_RDWR);
  const int closed = platform::Open(SimTestDriver::kPath, O_RDWR);
  ASSERT_GE(first, 0);
  ASSERT_GE(second, 0);
  ASSERT_GE(closed, 0);
  ASSERT_EQ(write(first, "ab", 2), 2);
  ASSERT_EQ(write(second, "c", 1), 1);
  ASSERT_EQ(write(second, "d", 1), 1);
  ASSERT_EQ(close(closed), 0);
  driver_->on_write = [this] { EXPECT_GE(driver_->OpenCount(), 2u); };
  EXPECT_EQ(driver_->OpenCount(), 2u);
  EXPECT_EQ(driver_->released, 1);
  std::sort(driver_->written.begin(), driver_->written.end());
  EXPECT_EQ(driver_->written, (std::vector<std::vector<uint8_t>>{{'a', 'b'}, {'c'}, {'d'}}));
  driver_->on_write = nullptr;
  // Taken once: a later sweep finds nothing new.
  EXPECT_EQ(driver_->OpenCount(), 2u);
  EXPECT_EQ(driver_->written.size(), 3u);
  platform::Close(first);
  platform::Close(second);
  EXPECT_EQ(driver_->released, 3);
}

// Routes are remembered per descriptor number: a number that a plain close()
// freed is looked up afresh when a new open takes it, or once the clock moved.
TEST_F(DeviceTest, FreedNumberTakenAgainIsRoutedAfresh) {
  platform::clock_control::Freeze(timeval{1000, 0});
  const int fd = platform::Open(SimTestDriver::kPath, O_RDWR);
  ASSERT_GE(fd, 0);
  uint8_t record[8] = {};
  ASSERT_EQ(platform::Ioctl(fd, SimTestDriver::kDouble, record), 0);
  EXPECT_EQ(platform::IoctlValue(fd, SimTestDriver::kChannel, 0), 41);
  ASSERT_EQ(close(fd), 0);

  const int reopened = platform::Open(SimTestDriver::kPath, O_RDWR);
  ASSERT_EQ(reopened, fd);
  EXPECT_EQ(platform::IoctlValue(reopened, SimTestDriver::kChannel, 0), 40);
  ASSERT_EQ(close(reopened), 0);

  int pipe_ends[2];
  ASSERT_EQ(pipe(pipe_ends), 0);
  ASSERT_EQ(pipe_ends[0], fd);
  ASSERT_EQ(write(pipe_ends[1], "abc", 3), 3);
  platform::clock_control::Advance(1);
  char buffer[4];
  EXPECT_EQ(platform::Read(pipe_ends[0], buffer, sizeof buffer), 3);
  close(pipe_ends[0]);
  close(pipe_ends[1]);
  platform::clock_control::Release();
}

}  // namespace
// The control socket queues from its own thread while the server's read may
// already wait on a descriptor it made blocking.
TEST_F(DeviceTest, BlockedReadGetsTheFailureQueuedWhileItWaits) {
  int fd = platform::Open(SimTestDriver::kPath, O_RDWR);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK), 0);
  std::atomic<pid_t> reader{0};
  ssize_t result = 0;
  int error = 0;
  std::thread thread([&] {
    reader = static_cast<pid_t>(syscall(SYS_gettid));
    char buffer[8];
    result = platform::Read(fd, buffer, sizeof buffer);
    error = errno;
  });
  while (reader == 0 || !IsAsleep(reader)) {
    std::this_thread::yield();
  }
  driver_->QueueErrorToAll(EIO);
  thread.join();
  EXPECT_EQ(result, -1);
  EXPECT_EQ(error, EIO);
  driver_->QueueToAll({7, 8});
  char buffer[8];
  EXPECT_EQ(platform::Read(fd, buffer, sizeof buffer), 2);
  platform::Close(fd);
}

}  // namespace sim
