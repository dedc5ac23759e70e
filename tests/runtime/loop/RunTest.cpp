#include "runtime/loop/Run.h"

#include "tests/support/BoardRoot.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace {

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

TEST(PidFile, HoldsThePidWhileAliveAndIsRemovedAfter) {
  TempBoardRoot root;
  std::filesystem::create_directories(root.Path("/var/run"));
  const std::string path = root.Path("/var/run/server.pid");
  {
    Linux::Run run("server");
    EXPECT_EQ(root.Read("/var/run/server.pid"), std::to_string(getpid()));
    int fd = OpenDescriptorOf(path);
    ASSERT_GE(fd, 0);
    EXPECT_NE(fcntl(fd, F_GETFD) & FD_CLOEXEC, 0) << "child programs must not inherit the pid file";
  }
  EXPECT_NE(access(path.c_str(), F_OK), 0);
}

}  // namespace
