#include "runtime/log/LogFileStreamBuf.h"

#include "platform/Clock.h"
#include "runtime/log/Daemon.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <fstream>
#include <iostream>
#include <iterator>
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

class LogFile : public ::testing::Test {
 protected:
  void SetUp() override {
    char folder[] = "/tmp/logfileXXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    folder_ = folder;
    setenv("TZ", "UTC", 1);
    tzset();
  }

  void TearDown() override {
    platform::clock_control::Release();
    for (const char* hour : {"10", "11", "12"}) {
      unlink(Path(hour).c_str());
    }
    rmdir(folder_.c_str());
  }

  std::string Path(const std::string& hour) const { return folder_ + "/2025_01_24-" + hour + ".log"; }

  std::string Read(const std::string& hour) const {
    std::ifstream in(Path(hour));
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  std::string folder_;
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
