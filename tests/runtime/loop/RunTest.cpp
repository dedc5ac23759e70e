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

// One server per board root: a second claim while the first lives leaves the
// file alone, and only the file's own claimant removes it.
TEST(PidFile, ASecondClaimWhileTheFirstLivesChangesNothing) {
  TempBoardRoot root;
  std::filesystem::create_directories(root.Path("/var/run"));
  const std::string path = root.Path("/var/run/server.pid");
  {
    Linux::Run first("server");
    ASSERT_TRUE(first.claimed());
    {
      Linux::Run second("server");
      EXPECT_FALSE(second.claimed());
      EXPECT_EQ(second.holder(), getpid());
      EXPECT_EQ(second.path(), path);
      second.Write();
    }
    EXPECT_EQ(root.Read("/var/run/server.pid"), std::to_string(getpid()));
  }
  EXPECT_NE(access(path.c_str(), F_OK), 0);
}

TEST(PidFile, ALeftOverFileIsClaimedWhateverItSays) {
  TempBoardRoot root;
  for (const char* left : {"4194304", "1", "", "not a pid\n", "123456789012345678901234567890123456789"}) {
    SCOPED_TRACE(left);
    root.Write("/var/run/server.pid", left);
    Linux::Run run("server");
    EXPECT_TRUE(run.claimed());
    EXPECT_EQ(root.Read("/var/run/server.pid"), std::to_string(getpid()));
  }
}

// Removed by hand and claimed by another server meanwhile: that server's file stays.
TEST(PidFile, AFileThatTookItsPlaceIsLeft) {
  TempBoardRoot root;
  std::filesystem::create_directories(root.Path("/var/run"));
  const std::string path = root.Path("/var/run/server.pid");
  {
    Linux::Run run("server");
    ASSERT_EQ(unlink(path.c_str()), 0);
    root.Write("/var/run/server.pid", "77");
  }
  EXPECT_EQ(root.Read("/var/run/server.pid"), "77");
}

}  // namespace
