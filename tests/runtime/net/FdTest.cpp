#include "runtime/net/Fd.h"

#include "platform/Clock.h"
#include "platform/Device.h"
#include "platform/sim/Board.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <functional>

namespace {

bool IsOpen(int fd) {
  return fcntl(fd, F_GETFD) >= 0;
}

bool HasCloexec(int fd) {
  return (fcntl(fd, F_GETFD) & FD_CLOEXEC) != 0;
}

TEST(Fd, ClosesWhatItOwnsExactlyOnce) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  close(fds[1]);
  {
    Fd owner(fds[0]);
    Fd moved(std::move(owner));
    EXPECT_FALSE(owner);
    EXPECT_TRUE(moved);
  }
  EXPECT_FALSE(IsOpen(fds[0]));
}

TEST(Fd, CopiesAreCloseOnExecDuplicates) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  close(fds[1]);
  ASSERT_FALSE(HasCloexec(fds[0]));
  Fd original(fds[0]);
  Fd copy(original);
  Fd assigned;
  assigned = original;
  for (const Fd* fd : {&copy, &assigned}) {
    ASSERT_TRUE(*fd);
    EXPECT_NE(fd->get(), original.get());
    EXPECT_TRUE(HasCloexec(fd->get()));
  }
  int raw = copy.get();
  EXPECT_EQ(copy.close(), 0);
  EXPECT_FALSE(IsOpen(raw));
  EXPECT_TRUE(IsOpen(original.get()));
}

// A fresh simulated board under a frozen loop clock.
class FdOnTheBoard : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::Board::instance().Reset();
    platform::clock_control::Freeze(timeval{1000, 0});
  }
  void TearDown() override {
    platform::clock_control::Release();
    sim::Board::instance().Reset();
  }
};

// The simulated board remembers which device each descriptor number reached
// until its next sweep, at most once a loop-clock millisecond. However an Fd
// lets a device go, a pipe that takes its numbers at once is the pipe's.
TEST_F(FdOnTheBoard, DeviceNumbersTakenAgainReachTheirNewOwner) {
  constexpr unsigned long kReadDip = 0xc0014205;
  const struct {
    const char* name;
    std::function<void(Fd&)> drop;
  } kCases[] = {
      {"close", [](Fd& fd) { EXPECT_EQ(fd.close(), 0); }},
      {"assigned over", [](Fd& fd) { fd = Fd(); }},
      {"destroyed", [](Fd& fd) { Fd gone(std::move(fd)); }},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    // Duplicates of an open that stays, so that dropping them frees their
    // numbers and no others.
    Fd device(platform::Open("/dev/hal", O_RDWR | O_CLOEXEC));
    ASSERT_TRUE(device);
    Fd copies[2] = {device, device};
    int numbers[2];
    for (int i = 0; i < 2; ++i) {
      uint8_t dip = 0;
      ASSERT_EQ(platform::Ioctl(copies[i].get(), kReadDip, &dip), 0);
      numbers[i] = copies[i].get();
    }
    c.drop(copies[0]);
    c.drop(copies[1]);
    int ends[2];
    ASSERT_EQ(pipe2(ends, O_CLOEXEC | O_NONBLOCK), 0);
    ASSERT_EQ(ends[0], numbers[0]);
    ASSERT_EQ(ends[1], numbers[1]);
    EXPECT_EQ(platform::Write(ends[1], "abc", 3), 3);
    int queued = 0;
    EXPECT_EQ(platform::Ioctl(ends[0], FIONREAD, &queued), 0);
    EXPECT_EQ(queued, 3);
    char buffer[4];
    EXPECT_EQ(platform::Read(ends[0], buffer, sizeof buffer), 3);
    close(ends[0]);
    close(ends[1]);
  }
}

}  // namespace
