#include "runtime/log/SysLogManager.h"

#include "platform/Clock.h"
#include "runtime/config/Version.h"
#include "runtime/log/Daemon.h"
#include "runtime/log/SysLogStreamBuf.h"
#include "tests/support/BoardRoot.h"
#include "tests/support/ControlLoop.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <syslog.h>
#include <time.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string kIdent = std::string("kvd-") + Version::current.tag;

timeval At(int day, int hour, int minute, int second) {
  tm when{};
  when.tm_year = 2025 - 1900;
  when.tm_mon = 0;
  when.tm_mday = day;
  when.tm_hour = hour;
  when.tm_min = minute;
  when.tm_sec = second;
  return timeval{timegm(&when), 0};
}

int BindUnix(const std::string& path, int type) {
  int fd = socket(AF_UNIX, type | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  path.copy(address.sun_path, sizeof(address.sun_path) - 1);
  EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
  if (type == SOCK_STREAM) {
    EXPECT_EQ(listen(fd, 4), 0);
  }
  return fd;
}

// One datagram (or what a stream holds), or "" when nothing comes.
std::string Receive(int fd, int timeout_ms = 5000) {
  pollfd ready{fd, POLLIN, 0};
  if (poll(&ready, 1, timeout_ms) != 1) {
    return std::string();
  }
  std::vector<char> data(70000);
  ssize_t length = recv(fd, data.data(), data.size(), 0);
  return length <= 0 ? std::string() : std::string(data.data(), length);
}

// The NUL-terminated lines of a datagram.
std::vector<std::string> Lines(const std::string& datagram) {
  std::vector<std::string> lines;
  size_t begin = 0;
  for (size_t end = datagram.find('\0'); end != std::string::npos; end = datagram.find('\0', begin)) {
    lines.push_back(datagram.substr(begin, end - begin));
    begin = end + 1;
  }
  EXPECT_EQ(begin, datagram.size()) << "every line ends with its NUL";
  return lines;
}

// Logs from its destructor. Built before the test runs, so destroyed after every
// static object the logging path creates later.
struct LogsAtExit {
  ~LogsAtExit() {
    if (armed) {
      std::cerr << "logged at exit" << std::endl;
    }
  }
  bool armed = false;
} g_logs_at_exit;

// Appends the lines of every datagram waiting on fd to lines.
void ReceiveAll(int fd, std::vector<std::string>* lines) {
  for (std::string datagram = Receive(fd, 0); !datagram.empty(); datagram = Receive(fd, 0)) {
    for (std::string& line : Lines(datagram)) {
      lines->push_back(std::move(line));
    }
  }
}

// A fresh board root with a frozen UTC clock, and the client reset to its start.
class SysLog : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(mkdir(root_.Path("/dev").c_str(), 0755), 0);
    setenv("TZ", "UTC", 1);
    tzset();
    platform::clock_control::Freeze(At(24, 19, 1, 5));
    // closelog keeps the default facility an earlier test may have set.
    manager().closelog();
    manager().openlog(nullptr, 0, LOG_USER);
  }

  void TearDown() override {
    manager().closelog();
    platform::clock_control::Release();
  }

  static SysLogManager& manager() { return syslogManager(); }
  std::string LogPath() const { return root_.Path("/dev/log"); }

  TempBoardRoot root_;
};

TEST_F(SysLog, FlushCutsTheTextAtEachNewline) {
  const struct {
    const char* name;
    const char* written;
    std::vector<std::string> messages;
  } kCases[] = {
      {"text after the last newline is a message of its own", "x\ny", {"x", "y"}},
      {"an empty line is a message", "a\n\nb\n", {"a", "", "b"}},
      {"text without newline waits for more", "wait", {}},
      {"and goes out with the next newline", " for it\n", {"wait for it"}},
  };
  const int server = BindUnix(LogPath(), SOCK_DGRAM);
  manager().openlog("", LOG_NDELAY, 0);
  ManagedSysLogStreamBuf buffer(LOG_DAEMON, LOG_NOTICE);
  std::ostream stream(&buffer);
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    stream << c.written << std::flush;
    std::vector<std::string> expected;
    for (const std::string& message : c.messages) {
      expected.push_back("<29>Jan 24 19:01:05 " + message);
    }
    EXPECT_EQ(Lines(Receive(server, c.messages.empty() ? 0 : 5000)), expected);
  }
  close(server);
}

TEST_F(SysLog, FormatsTheLineHead) {
  const std::string pid = std::to_string(getpid());
  const struct {
    const char* name;
    const char* ident;
    int options;
    int facility;
    int priority;
    timeval at;
    std::string line;
  } kCases[] = {
      {"the day is padded with a blank", "srv", 0, 0, LOG_ERR, At(5, 7, 8, 9), "<11>Jan  5 07:08:09 srv: m"},
      {"no ident, no colon", "", 0, 0, LOG_ERR, At(24, 19, 1, 5), "<11>Jan 24 19:01:05 m"},
      {"the pid follows the ident", "srv", LOG_PID, 0, LOG_INFO, At(24, 19, 1, 5),
       "<14>Jan 24 19:01:05 srv[" + pid + "]: m"},
      {"the facility of openlog becomes the default", "srv", 0, LOG_DAEMON, LOG_ERR, At(24, 19, 1, 5),
       "<27>Jan 24 19:01:05 srv: m"},
      {"a facility in the priority wins", "srv", 0, LOG_DAEMON, LOG_LOCAL0 | LOG_INFO, At(24, 19, 1, 5),
       "<134>Jan 24 19:01:05 srv: m"},
  };
  const int server = BindUnix(LogPath(), SOCK_DGRAM);
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    manager().closelog();
    manager().openlog(c.ident, c.options | LOG_NDELAY, c.facility);
    platform::clock_control::Freeze(c.at);
    manager().syslog(c.priority, "%c", 'm');
    EXPECT_EQ(manager().sendmsg(), static_cast<int>(c.line.size() + 1));
    EXPECT_EQ(Receive(server), c.line + '\0');
  }
  close(server);
}

// A burst larger than the backlog loses its tail, and says once how many lines.
TEST_F(SysLog, BacklogOverflowIsCountedOnce) {
  const int server = BindUnix(LogPath(), SOCK_DGRAM);
  manager().openlog("srv", LOG_NDELAY, 0);
  ManagedSysLogStreamBuf buffer(LOG_DAEMON, LOG_NOTICE);
  std::ostream stream(&buffer);
  const std::string text(900, 'x');
  constexpr size_t kLines = 2 * SysLogManager::kBacklogSize / 900;
  for (size_t i = 0; i < kLines; ++i) {
    stream << i << text << std::endl;
  }
  const std::string report = "<28>Jan 24 19:01:05 srv: syslog: ";
  std::vector<std::string> lines;
  EXPECT_TRUE(control_test::RunUntil([&] {
    ReceiveAll(server, &lines);
    return !lines.empty() && lines.back().rfind(report, 0) == 0;
  }));
  control_test::RunPasses(3);
  ReceiveAll(server, &lines);
  ASSERT_GT(lines.size(), 1u);
  const size_t kept = lines.size() - 1;
  for (size_t i = 0; i < kept; ++i) {
    ASSERT_EQ(lines[i], "<29>Jan 24 19:01:05 srv: " + std::to_string(i) + text);
  }
  EXPECT_EQ(lines.back(), report + std::to_string(kLines - kept) + " lines lost while the log socket was full");
  close(server);
}

TEST_F(SysLog, FallsBackToAStreamSocket) {
  const int server = BindUnix(LogPath(), SOCK_STREAM);
  manager().openlog("srv", LOG_NDELAY, 0);
  const int connection = accept(server, nullptr, nullptr);
  ASSERT_GE(connection, 0);
  manager().syslog(LOG_ERR, "one");
  manager().syslog(LOG_ERR, "two");
  manager().sendmsg();
  const std::string head = "<11>Jan 24 19:01:05 srv: ";
  EXPECT_EQ(Receive(connection), head + "one" + '\0' + head + "two" + '\0');
  close(connection);
  close(server);
}

TEST_F(SysLog, ConnectsOnceTheLogSocketAppearsAndAgainWhenItIsReplaced) {
  manager().openlog("srv", 0, 0);
  manager().syslog(LOG_ERR, "lost");
  EXPECT_EQ(manager().sendmsg(), 0);
  int server = BindUnix(LogPath(), SOCK_DGRAM);
  manager().syslog(LOG_ERR, "before");
  manager().sendmsg();
  EXPECT_EQ(Lines(Receive(server)), std::vector<std::string>{"<11>Jan 24 19:01:05 srv: before"});

  // The log daemon restarts: its socket goes away and a new one takes the name.
  close(server);
  unlink(LogPath().c_str());
  server = BindUnix(LogPath(), SOCK_DGRAM);
  manager().syslog(LOG_ERR, "after");
  EXPECT_GT(manager().sendmsg(), 0);
  EXPECT_EQ(Lines(Receive(server)), std::vector<std::string>{"<11>Jan 24 19:01:05 srv: after"});
  close(server);
}

TEST_F(SysLog, DaemonSendsTheStandardStreamsToTheLog) {
  const int server = BindUnix(LogPath(), SOCK_DGRAM);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    Daemon::Params params;
    params.name = kIdent;
    Daemon::Init(params);
    Daemon::Ready();
    std::cout << "up" << std::endl;
    std::cerr << "bad" << std::endl;
    std::clog << "dbg" << std::endl;
    static_cast<void>(write(STDOUT_FILENO, "raw", 3));
    // Child programs inherit descriptors 1 and 2 and expect them blocking.
    std::cout << ((fcntl(STDOUT_FILENO, F_GETFL) & O_NONBLOCK) != 0 ? "non-blocking" : "blocking") << std::endl;
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(Receive(server), "<29>Jan 24 19:01:05 kvd-T250124-1901: up" + std::string(1, '\0'));
  EXPECT_EQ(Receive(server), "<27>Jan 24 19:01:05 kvd-T250124-1901: bad" + std::string(1, '\0'));
  EXPECT_EQ(Receive(server), "<31>Jan 24 19:01:05 kvd-T250124-1901: dbg" + std::string(1, '\0'));
  EXPECT_EQ(Receive(server), "raw");
  EXPECT_EQ(Receive(server), "<29>Jan 24 19:01:05 kvd-T250124-1901: blocking" + std::string(1, '\0'));
  close(server);
}

TEST_F(SysLog, LogsFromStaticDestructors) {
  const int server = BindUnix(LogPath(), SOCK_DGRAM);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    Daemon::Params params;
    params.name = kIdent;
    Daemon::Init(params);
    Daemon::Ready();
    g_logs_at_exit.armed = true;
    std::exit(0);
  }
  ASSERT_EQ(waitpid(child, nullptr, 0), child);
  EXPECT_EQ(Receive(server), "<27>Jan 24 19:01:05 kvd-T250124-1901: logged at exit" + std::string(1, '\0'));
  close(server);
}

// The launcher leaves only once the daemon is ready, passing on what the
// daemon had to say, and fails, saying how, when the daemon ends before that,
// even when whoever started it left SIGCHLD ignored.
TEST_F(SysLog, LauncherLeavesWhenTheDaemonIsReadyOrHasEnded) {
  const std::string marker = root_.Path("/ready-marker");
  for (const bool ready : {true, false}) {
    SCOPED_TRACE(ready);
    int error_pipe[2];
    ASSERT_EQ(pipe(error_pipe), 0);
    const pid_t launcher = fork();
    ASSERT_GE(launcher, 0);
    if (launcher == 0) {
      dup2(error_pipe[1], STDERR_FILENO);
      signal(SIGCHLD, SIG_IGN);
      Daemon::Init(Daemon::Params{});
      if (!ready) {
        _exit(3);
      }
      // Written before Ready: the launcher must not have left yet.
      std::ofstream(marker) << getpid();
      Daemon::Ready("can't write pid file: no room");
      _exit(0);
    }
    close(error_pipe[1]);
    int status = 0;
    ASSERT_EQ(waitpid(launcher, &status, 0), launcher);
    std::string errors;
    char chunk[256];
    for (ssize_t n; (n = read(error_pipe[0], chunk, sizeof chunk)) > 0;) {
      errors.append(chunk, static_cast<size_t>(n));
    }
    close(error_pipe[0]);
    if (ready) {
      EXPECT_EQ(status, 0);
      EXPECT_EQ(errors, "can't write pid file: no room\n");
      std::ifstream in(marker);
      pid_t daemon = 0;
      EXPECT_TRUE(in >> daemon);
      EXPECT_NE(daemon, launcher);
      continue;
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    EXPECT_EQ(errors.substr(errors.find(')')), ") ended before it was ready: exit status 3\n") << errors;
  }
}

// Ctrl-C, or a service manager's stop, ends a launcher still waiting at once,
// though the server's handlers would only set a flag; the daemon goes on.
TEST_F(SysLog, AWaitingLauncherEndsAtTerminateOrInterrupt) {
  for (const int number : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(number);
    const std::string marker = root_.Path("/went-on");
    int forked[2];
    int hold[2];
    ASSERT_EQ(pipe(forked), 0);
    ASSERT_EQ(pipe(hold), 0);
    const pid_t launcher = fork();
    ASSERT_GE(launcher, 0);
    if (launcher == 0) {
      close(forked[0]);
      close(hold[1]);
      signal(number, [](int) {});
      signal(SIGPIPE, SIG_IGN);
      Daemon::Init(Daemon::Params{});
      static_cast<void>(write(forked[1], "", 1));
      char byte;
      static_cast<void>(read(hold[0], &byte, 1));
      Daemon::Ready();
      std::ofstream(marker) << "went on";
      _exit(0);
    }
    close(forked[1]);
    close(hold[0]);
    char byte;
    ASSERT_EQ(read(forked[0], &byte, 1), 1);
    close(forked[0]);
    int status = 0;
    pid_t ended = 0;
    // Sent again until it lands after the fork; the bound only guards a hang.
    for (int tries = 0; tries < 2000 && ended == 0; ++tries) {
      kill(launcher, number);
      usleep(10000);
      ended = waitpid(launcher, &status, WNOHANG);
    }
    close(hold[1]);
    if (ended == 0) {
      waitpid(launcher, &status, 0);
    }
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == number) << status;
    for (int tries = 0; tries < 2000 && !std::filesystem::exists(marker); ++tries) {
      usleep(10000);
    }
    EXPECT_TRUE(std::filesystem::exists(marker));
    std::filesystem::remove(marker);
  }
}

}  // namespace
