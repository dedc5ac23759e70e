#include "tests/e2e/GatewayFixture.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace e2e {
namespace {

// Every core kept busy, as on a loaded board while an init script starts the
// server.
class CpuLoad {
 public:
  CpuLoad() {
    for (long core = sysconf(_SC_NPROCESSORS_ONLN); core > 0; --core) {
      const pid_t pid = fork();
      if (pid == 0) {
        for (;;) {
        }
      }
      spinners_.push_back(pid);
    }
  }
  ~CpuLoad() {
    for (pid_t pid : spinners_) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  }
  CpuLoad(const CpuLoad&) = delete;
  CpuLoad& operator=(const CpuLoad&) = delete;

 private:
  std::vector<pid_t> spinners_;
};

// Makes this process the parent of the daemons whose launchers have left, so
// that their exit status shows.
class Subreaper {
 public:
  Subreaper() { prctl(PR_SET_CHILD_SUBREAPER, 1); }
  ~Subreaper() { prctl(PR_SET_CHILD_SUBREAPER, 0); }
  Subreaper(const Subreaper&) = delete;
  Subreaper& operator=(const Subreaper&) = delete;
};

// Started as an init script starts it, on a loaded machine, and once with each
// standard descriptor closed: when the launcher returns, the pid file names
// the live daemon and guards the root, and the daemon's stop is clean under
// the sanitizers.
TEST(DaemonStart, ThePidFileNamesTheLiveDaemonWhenTheLauncherReturns) {
  // -1: none closed.
  constexpr int kClosed[] = {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO, -1, -1, -1, -1, -1};
  Subreaper subreaper;
  CpuLoad load;
  for (const int closed : kClosed) {
    SCOPED_TRACE(closed);
    ServerProcess server;
    ASSERT_TRUE(server.CaptureSysLog());
    server.set_before_exec([closed] { close(closed); });
    ASSERT_TRUE(server.Start({"-D", "--port", std::to_string(server.port())}));
    ASSERT_EQ(server.WaitExitCode(), 0) << server.output();
    const std::string pid_file = server.Path("/var/run/server.pid");
    const pid_t daemon = server.DaemonPid();
    ASSERT_GT(daemon, 0) << "the pid file holds \"" << ReadFile(pid_file) << '"';
    EXPECT_NE(daemon, server.pid());

    ServerProcess second(SameRootAs{server});
    ASSERT_TRUE(second.Start({"--port", std::to_string(second.port())}));
    EXPECT_EQ(second.WaitExitCode(), 1) << second.output();

    int status = -1;
    EXPECT_TRUE(server.StopDaemon(daemon, &status));
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(std::filesystem::exists(pid_file));
    EXPECT_TRUE(server.WaitForSysLog("Mux: terminating...\n"));
    EXPECT_EQ(server.syslog().find("LeakSanitizer"), std::string::npos) << server.syslog();
  }
}

// The daemon, once its launcher has left: this subreaper's one child.
pid_t OnlyChild() {
  std::istringstream children(ReadFile("/proc/self/task/" + std::to_string(getpid()) + "/children"));
  pid_t pid = -1;
  children >> pid;
  return pid;
}

// A full disk, played by a file size limit of 0: the launcher, whose error
// stream is the one its starter reads, says that the pid file could not be
// written, and the daemon serves without it.
TEST(DaemonStart, APidFileThatCannotBeWrittenIsSaidByTheLauncher) {
  Subreaper subreaper;
  ServerProcess server;
  ASSERT_TRUE(server.CaptureSysLog());
  server.set_before_exec(FullDisk);
  ASSERT_TRUE(server.Start({"-D", "--port", std::to_string(server.port())}));
  EXPECT_EQ(server.WaitExitCode(), 0);
  const std::string pid_file = server.Path("/var/run/server.pid");
  EXPECT_NE(server.output().find("can't write pid file " + pid_file + ": File too large\n"), std::string::npos)
      << server.output();
  EXPECT_EQ(server.DaemonPid(), -1);
  ASSERT_TRUE(server.WaitReady());
  const pid_t daemon = OnlyChild();
  ASSERT_GT(daemon, 0);
  EXPECT_TRUE(server.StopDaemon(daemon));
}

}  // namespace
}  // namespace e2e
