#include "runtime/loop/Run.h"

#include "tests/support/BoardRoot.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <limits.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <new>
#include <sstream>
#include <string>

namespace {

// A path whose stat() names another file than the one an open of it gives, as
// on a file system whose identities never agree; empty for none.
std::string disagreeing_path;

}  // namespace

// Stands in for the C library's stat() in this test program alone.
extern "C" int stat(const char* __restrict path, struct stat* __restrict buffer) noexcept {
  const int result = static_cast<int>(syscall(SYS_newfstatat, AT_FDCWD, path, buffer, 0));
  if (result == 0 && !disagreeing_path.empty() && disagreeing_path == path) {
    ++buffer->st_ino;
  }
  return result;
}

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
      EXPECT_EQ(second.Write(), "");
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

// A launcher about to detach claims the file but leaves the pid to its daemon.
TEST(PidFile, AClaimWithoutThePidEmptiesTheFileUntilWritten) {
  TempBoardRoot root;
  root.Write("/var/run/server.pid", "4194304");
  Linux::Run run("server", false);
  EXPECT_TRUE(run.claimed());
  EXPECT_EQ(root.Read("/var/run/server.pid"), "");
  EXPECT_EQ(run.Write(), "");
  EXPECT_EQ(root.Read("/var/run/server.pid"), std::to_string(getpid()));
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

// Nothing keeps a second server off the root then: the start goes on, and
// says why.
TEST(PidFile, AFileThatCannotBeOpenedIsNamedWithItsError) {
  const struct {
    const char* name;
    const char* folder;  // made under the root first
    const char* error;
  } kCases[] = {
      {"no run folder", "/var", "No such file or directory"},
      {"a folder in its place", "/var/run/server.pid", "Is a directory"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    TempBoardRoot root;
    std::filesystem::create_directories(root.Path(c.folder));
    std::ostringstream err;
    std::streambuf* saved = std::cerr.rdbuf(err.rdbuf());
    {
      Linux::Run run("server");
      EXPECT_TRUE(run.claimed());
    }
    std::cerr.rdbuf(saved);
    EXPECT_EQ(err.str(), "can't open pid file " + root.Path("/var/run/server.pid") + ": " + c.error +
                             " (no guard against a second server)\n");
  }
}

// The start must not spin for ever on such a file system.
TEST(PidFile, AFileThatNeverStaysInPlaceIsGivenUpAndNamed) {
  TempBoardRoot root;
  std::filesystem::create_directories(root.Path("/var/run"));
  disagreeing_path = root.Path("/var/run/server.pid");
  std::ostringstream err;
  std::streambuf* saved = std::cerr.rdbuf(err.rdbuf());
  {
    Linux::Run run("server");
    EXPECT_TRUE(run.claimed());
  }
  std::cerr.rdbuf(saved);
  disagreeing_path.clear();
  EXPECT_EQ(err.str(), "can't claim pid file " + root.Path("/var/run/server.pid") +
                           ": another file keeps taking its place (no guard against a second server)\n");
}

// Servers starting while others stop on one root, for a second: the one that
// stops removes the file and then lets it go, so a start may open the file
// just before its removal and lock it just after. Never two at a time may
// hold the root.
TEST(PidFile, StartsAndStopsRacingNeverGiveTwoHolders) {
  // In memory where the machine has it: a disk's syncs would allow few claims a second.
  const std::filesystem::path memory_folder = "/dev/shm";
  TempBoardRoot root(std::filesystem::is_directory(memory_folder) ? memory_folder
                                                                  : std::filesystem::temp_directory_path());
  std::filesystem::create_directories(root.Path("/var/run"));
  struct Shared {
    std::atomic<int> holders;
    std::atomic<int> overlaps;
    std::atomic<int> claims;
  };
  void* memory = mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(memory, MAP_FAILED);
  Shared* shared = new (memory) Shared{};
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  constexpr int kProcesses = 4;
  pid_t children[kProcesses];
  for (pid_t& child : children) {
    child = fork();
    if (child == 0) {
      while (std::chrono::steady_clock::now() < until) {
        Linux::Run run("server");
        if (run.claimed()) {
          shared->claims++;
          shared->overlaps += shared->holders++ > 0 ? 1 : 0;
          // Holds on a while, so that two holds have the time to meet.
          sched_yield();
          shared->holders--;
        }
      }
      _exit(0);
    }
    ASSERT_GT(child, 0);
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  EXPECT_GT(shared->claims.load(), 0);
  EXPECT_EQ(shared->overlaps.load(), 0) << "in " << shared->claims.load() << " claims";
  munmap(memory, sizeof(Shared));
}

}  // namespace
