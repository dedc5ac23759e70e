#include "runtime/log/LogFileStreamBuf.h"

#include "platform/Clock.h"
#include "tests/support/BoardRoot.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/time.h>
#include <time.h>

#include <fstream>
#include <ostream>
#include <string>

namespace {

timeval At(int hour, int minute, int second, long microsecond) {
  tm when{};
  when.tm_year = 2025 - 1900;
  when.tm_mon = 0;
  when.tm_mday = 24;
  when.tm_hour = hour;
  when.tm_min = minute;
  when.tm_sec = second;
  return timeval{timegm(&when), microsecond};
}

// The log folder is a fresh board root; the clock reads UTC.
class LogFile : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
  }
  void TearDown() override { platform::clock_control::Release(); }

  std::string Path(const std::string& hour) const { return root_.Path("/2025_01_24-" + hour + ".log"); }
  std::string Read(const std::string& hour) const { return root_.Read("/2025_01_24-" + hour + ".log"); }

  TempBoardRoot root_;
  const std::string folder_ = root_.Path("");
};

TEST_F(LogFile, EachHourHasItsOwnFile) {
  platform::clock_control::Freeze(At(10, 59, 59, 900000));
  LogFileStreamBuf buffer(folder_);
  std::ostream stream(&buffer);
  stream << "first" << std::endl;
  platform::clock_control::Advance(200);
  stream << "second" << std::endl;
  EXPECT_EQ(Read("10"), "59:59:900000: first\n");
  EXPECT_EQ(Read("11"), "00:00:100000: second\n");
}

TEST_F(LogFile, KeepsWhatAnEarlierRunWroteInTheSameHour) {
  platform::clock_control::Freeze(At(10, 0, 0, 0));
  std::ofstream(Path("10")) << "before the restart\n";
  LogFileStreamBuf buffer(folder_);
  std::ostream stream(&buffer);
  stream << "after" << std::endl;
  EXPECT_EQ(Read("10"), "before the restart\n00:00:00000: after\n");
}

}  // namespace
