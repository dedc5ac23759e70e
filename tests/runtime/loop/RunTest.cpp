#include "runtime/loop/Run.h"

#include "tests/support/BoardRoot.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

namespace {

class PidFile : public ::testing::Test {
 protected:
  TempBoardRoot board_;
  const std::string root_ = board_.Path("");
};

// The descriptor of this process that has path open, or -1.
int OpenDescriptorOf(const std::string& path) {
  for (int fd = 0; fd < 1024; ++fd) {
    char link[PATH_MAX];
    std::string proc = "/proc/self/fd/" + std::to_string(fd);
    ssize_t length = readlink(proc.c_str(), link, sizeof link - 1);
    if (length > 0 && std::string(link, static_cast<size_t>(length)) == path) {
      return fd;
    }
  }
  return -1;
}

TEST_F(PidFile, HoldsThePidWhileAliveAndIsRemovedAfter) {
  ASSERT_EQ(mkdir((root_ + "/var").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((root_ + "/var/run").c_str(), 0755), 0);
  const std::string path = root_ + "/var/run/server.pid";
  {
    Linux::Run run("server");
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    EXPECT_EQ(text.str(), std::to_string(getpid()));
    int fd = OpenDescriptorOf(path);
    ASSERT_GE(fd, 0);
    EXPECT_NE(fcntl(fd, F_GETFD) & FD_CLOEXEC, 0) << "child programs must not inherit the pid file";
  }
  EXPECT_NE(access(path.c_str(), F_OK), 0);
}

}  // namespace
