#include "tests/e2e/GatewayFixture.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
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

TEST(DaemonStart, LauncherLeavesOnlyOnceThePidFileNamesTheLiveDaemon) {
  constexpr int kStarts = 8;
  Subreaper subreaper;
  CpuLoad load;
  for (int start = 0; start < kStarts; ++start) {
    SCOPED_TRACE(start);
    ServerProcess server;
    ASSERT_TRUE(server.CaptureSysLog());
    ASSERT_TRUE(server.Start({"-D", "--port", std::to_string(server.port())}));
    ASSERT_EQ(server.WaitExitCode(), 0) << server.output();
    const pid_t daemon = server.DaemonPid();
    ASSERT_GT(daemon, 0) << "the launcher left before the daemon's pid was written";
    EXPECT_NE(daemon, server.pid());
    // Stopped under the sanitizers: what it holds at exit must not count as leaked.
    int status = -1;
    EXPECT_TRUE(server.StopDaemon(daemon, &status));
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(std::filesystem::exists(server.Path("/var/run/server.pid")));
    EXPECT_TRUE(server.WaitForSysLog("Mux: terminating...\n"));
    EXPECT_EQ(server.syslog().find("LeakSanitizer"), std::string::npos) << server.syslog();
  }
}

// A server started with a standard descriptor closed: neither its lines nor
// the daemon's /dev/null may end up in the pid file, and the guard holds.
TEST(DaemonStart, AClosedStandardDescriptorKeepsThePidFileWhole) {
  const struct {
    const char* name;
    int closed;
    bool daemon;
  } kCases[] = {
      {"standard input, daemon", STDIN_FILENO, true},
      {"standard output", STDOUT_FILENO, false},
      {"standard error", STDERR_FILENO, false},
  };
  Subreaper subreaper;
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    ServerProcess server;
    server.set_before_exec([fd = c.closed] { close(fd); });
    const std::string port = std::to_string(server.port());
    ASSERT_TRUE(c.daemon ? server.Start({"-D", "--port", port}) : server.Start({"--port", port}));
    ASSERT_TRUE(server.WaitReady());
    const pid_t pid = c.daemon ? server.DaemonPid() : server.pid();
    EXPECT_EQ(ReadFile(server.Path("/var/run/server.pid")), std::to_string(pid));

    ServerProcess second(SameRootAs{server});
    ASSERT_TRUE(second.Start({"--port", std::to_string(second.port())}));
    EXPECT_EQ(second.WaitExitCode(), 1) << second.output();

    if (c.daemon) {
      int status = -1;
      EXPECT_TRUE(server.StopDaemon(pid, &status));
      EXPECT_EQ(status, 0);
    } else {
      server.Signal(SIGTERM);
      EXPECT_EQ(server.WaitExitCode(), 0) << server.output();
    }
    EXPECT_FALSE(std::filesystem::exists(server.Path("/var/run/server.pid")));
  }
}

}  // namespace
}  // namespace e2e
