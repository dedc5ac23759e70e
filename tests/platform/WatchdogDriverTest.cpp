#include "platform/Clock.h"
#include "platform/Device.h"
#include "platform/sim/Board.h"
#include "platform/sim/WatchdogDriver.h"

#include <gtest/gtest.h>

#include <fcntl.h>

#include <cerrno>
#include <string>
#include <vector>

namespace sim {
namespace {

class WatchdogDriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Board::instance().Reset();
    watchdog_ = Board::instance().Find<WatchdogDriver>(WatchdogDriver::kPath);
    ASSERT_NE(watchdog_, nullptr);
    platform::clock_control::Freeze(timeval{1000, 250});
  }
  void TearDown() override { platform::clock_control::Release(); }

  WatchdogDriver* watchdog_ = nullptr;
};

TEST_F(WatchdogDriverTest, RecordsEachWriteWithTheLoopClock) {
  int fd = platform::Open(WatchdogDriver::kPath, O_WRONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(platform::Write(fd, "START", 5), 5);
  platform::clock_control::Advance(1000);
  ASSERT_EQ(platform::Write(fd, "PING", 4), 4);
  platform::clock_control::Advance(999);
  ASSERT_EQ(platform::Write(fd, "PING", 4), 4);
  ASSERT_EQ(platform::Write(fd, "STOP", 4), 4);
  EXPECT_EQ(platform::Close(fd), 0);

  const struct {
    const char* word;
    long sec;
    long usec;
  } kExpected[] = {{"START", 1000, 250}, {"PING", 1001, 250}, {"PING", 1001, 999250}, {"STOP", 1001, 999250}};
  std::vector<WatchdogDriver::Entry> entries = watchdog_->Entries();
  ASSERT_EQ(entries.size(), std::size(kExpected));
  for (size_t i = 0; i < entries.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(entries[i].word, kExpected[i].word);
    EXPECT_EQ(entries[i].time.tv_sec, kExpected[i].sec);
    EXPECT_EQ(entries[i].time.tv_usec, kExpected[i].usec);
  }
  Reply log = Board::instance().Control({WatchdogDriver::kPath, "log"});
  EXPECT_TRUE(log.ok);
  EXPECT_EQ(log.text, "START@1000.000250 PING@1001.000250 PING@1001.999250 STOP@1001.999250");
}

TEST_F(WatchdogDriverTest, RefusedWritesAreNotRecorded) {
  watchdog_->FailNext(Call::kOpen, 1, EACCES);
  errno = 0;
  EXPECT_EQ(platform::Open(WatchdogDriver::kPath, O_WRONLY), -1);
  EXPECT_EQ(errno, EACCES);

  int fd = platform::Open(WatchdogDriver::kPath, O_WRONLY);
  ASSERT_GE(fd, 0);
  watchdog_->FailNext(Call::kWrite, 1, EIO);
  errno = 0;
  EXPECT_EQ(platform::Write(fd, "START", 5), -1);
  EXPECT_EQ(errno, EIO);
  // A record that would break the control line is shown harmlessly.
  ASSERT_EQ(platform::Write(fd, "PI NG\n", 6), 6);
  platform::Close(fd);
  ASSERT_EQ(watchdog_->Entries().size(), 1u);
  EXPECT_EQ(Board::instance().Control({WatchdogDriver::kPath, "log"}).text, "PI?NG?@1000.000250");
}

}  // namespace
}  // namespace sim
