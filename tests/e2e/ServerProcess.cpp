#include "tests/e2e/ServerProcess.h"

#include "tests/e2e/GatewayFixture.h"
#include "tests/e2e/SimBoard.h"
#include "tests/support/FreePort.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace e2e {
namespace {

// The folders a board has that the server writes to.
const char* const kBoardFolders[] = {"/usr/local/etc", "/var/run", "/var/log", "/var/monitoring", "/dev"};

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

ServerProcess::ServerProcess() {
  std::string pattern = testing::TempDir() + "korvexd-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    ADD_FAILURE() << "mkdtemp: " << std::strerror(errno);
    return;
  }
  root_ = pattern;
  for (const char* folder : kBoardFolders) {
    std::filesystem::create_directories(root_ + folder);
  }
  port_ = test_support::FreePort();
}

ServerProcess::ServerProcess(SameRootAs other)
    : root_(other.server.Path("")), owns_root_(false), port_(test_support::FreePort()) {}

ServerProcess::~ServerProcess() {
  if (pid_ > 0 && !status_) {
    kill(pid_, SIGKILL);
    int status = 0;
    waitpid(pid_, &status, 0);
  }
  if (pidfd_ >= 0) {
    close(pidfd_);
  }
  if (output_fd_ >= 0) {
    close(output_fd_);
  }
  if (syslog_fd_ >= 0) {
    close(syslog_fd_);
  }
  if (owns_root_) {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
}

bool ServerProcess::Start(const std::vector<std::string>& args) {
  int pipe_fds[2];
  if (pipe2(pipe_fds, O_CLOEXEC) != 0) {
    return false;
  }
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(KORVEXD_PATH));
  for (const std::string& arg : args) {
    argv.push_back(const_cast<char*>(arg.c_str()));
  }
  argv.push_back(nullptr);
  const std::filesystem::path root(root_);
  const std::string folder = relative_root_ ? root.parent_path().string() : std::string(".");
  const std::string named_root = relative_root_ ? root.filename().string() : root_;
  pid_ = fork();
  if (pid_ == 0) {
    dup2(pipe_fds[1], STDOUT_FILENO);
    dup2(pipe_fds[1], STDERR_FILENO);
    if (chdir(folder.c_str()) != 0) {
      _exit(127);
    }
    setenv("GATEWAY_ROOT", named_root.c_str(), 1);
    // Servers of parallel tests would all want 52000; a test that talks to the listener names its own port.
    setenv("GATEWAY_AUTH_PORT", "0", 0);
    if (before_exec_) {
      before_exec_();
    }
    execv(KORVEXD_PATH, argv.data());
    _exit(127);
  }
  close(pipe_fds[1]);
  output_fd_ = pipe_fds[0];
  if (pid_ < 0) {
    return false;
  }
  pidfd_ = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
  return true;
}

bool ServerProcess::StartServing(const std::vector<std::string>& extra_args) {
  std::vector<std::string> args = {"--port", std::to_string(port_)};
  args.insert(args.end(), extra_args.begin(), extra_args.end());
  return Start(args) && WaitReady();
}

bool ServerProcess::WaitReady() {
  const int64_t deadline = NowMs() + kWaitMs;
  while (NowMs() < deadline) {
    SimBoard board(*this);
    if (board.Connect()) {
      return true;
    }
    // Between attempts, wait on the server's end or its output.
    if (pidfd_ < 0 || status_) {
      Wait(-1, 0, 10);
      continue;
    }
    int status = 0;
    // A daemon's first process ends at once; its child serves on.
    if (Wait(pidfd_, POLLIN, 10) != 0 && waitpid(pid_, &status, WNOHANG) == pid_) {
      status_ = status;
      if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        break;
      }
    }
  }
  ADD_FAILURE() << "the server never served its control socket; output:\n" << output_;
  return false;
}

int ServerProcess::WaitExitCode() {
  const int64_t deadline = NowMs() + kWaitMs;
  int status = 0;
  while (!status_) {
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      status_ = status;
    } else if (NowMs() >= deadline) {
      ADD_FAILURE() << "the server did not end; output:\n" << output_;
      return -1;
    } else {
      // Without a process descriptor this waits on the output alone.
      Wait(pidfd_, POLLIN, 100);
    }
  }
  Drain();
  return WIFEXITED(*status_) ? WEXITSTATUS(*status_) : -1;
}

pid_t ServerProcess::DaemonPid() const {
  const std::string text = ReadFile(Path("/var/run/server.pid"));
  const pid_t pid = static_cast<pid_t>(std::atoi(text.c_str()));
  return pid > 0 && std::to_string(pid) == text ? pid : -1;
}

bool ServerProcess::StopDaemon(pid_t pid, int* status) {
  // Not a child of ours: its end shows on a process descriptor.
  const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  if (pidfd < 0 || kill(pid, SIGTERM) != 0) {
    ADD_FAILURE() << "no process " << pid << " to stop";
    if (pidfd >= 0) {
      close(pidfd);
    }
    return false;
  }
  const bool ended = (Wait(pidfd, POLLIN) & POLLIN) != 0;
  close(pidfd);
  if (!ended) {
    kill(pid, SIGKILL);
  }
  if (status != nullptr && waitpid(pid, status, 0) != pid) {
    *status = -1;
  }
  return ended;
}

void ServerProcess::Signal(int number) const {
  kill(pid_, number);
}

bool ServerProcess::WaitForOutput(const std::string& text, size_t offset) {
  if (OutputShows(text, offset, kWaitMs)) {
    return true;
  }
  ADD_FAILURE() << "no \"" << text << "\" in the output:\n" << output_;
  return false;
}

bool ServerProcess::OutputShows(const std::string& text, size_t offset, int timeout_ms) {
  const int64_t deadline = NowMs() + timeout_ms;
  while (output_.find(text, offset) == std::string::npos) {
    if (output_fd_ < 0 || NowMs() >= deadline) {
      return false;
    }
    Wait(-1, 0, static_cast<int>(deadline - NowMs()));
  }
  return true;
}

bool ServerProcess::CaptureSysLog() {
  const std::string path = Path("/dev/log");
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) {
    return false;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  syslog_fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  return bind(syslog_fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
}

bool ServerProcess::WaitForSysLog(const std::string& text) {
  const int64_t deadline = NowMs() + kWaitMs;
  while (syslog_.find(text) == std::string::npos) {
    if (NowMs() >= deadline) {
      ADD_FAILURE() << "no \"" << text << "\" in the system log:\n" << syslog_;
      return false;
    }
    Wait(syslog_fd_, POLLIN, static_cast<int>(deadline - NowMs()));
  }
  return true;
}

void ServerProcess::DrainSysLog() {
  char buffer[16384];
  for (;;) {
    ssize_t count = recv(syslog_fd_, buffer, sizeof buffer, 0);
    if (count <= 0) {
      return;
    }
    for (ssize_t i = 0; i < count; ++i) {
      syslog_ += buffer[i] == '\0' ? '\n' : buffer[i];
    }
  }
}

short ServerProcess::Wait(int fd, short events, int timeout_ms) {
  const int64_t deadline = NowMs() + timeout_ms;
  for (;;) {
    // The log is drained first, so a wait on it sees what is already there.
    if (syslog_fd_ >= 0) {
      DrainSysLog();
    }
    pollfd entries[3] = {{fd, events, 0}, {output_fd_, POLLIN, 0}, {syslog_fd_, POLLIN, 0}};
    const int left = static_cast<int>(std::max<int64_t>(0, deadline - NowMs()));
    int ready = poll(entries, 3, left);
    if (ready < 0 && errno != EINTR) {
      return 0;
    }
    if (entries[1].revents != 0) {
      Drain();
    }
    if (entries[2].revents != 0) {
      DrainSysLog();
    }
    if (entries[0].revents != 0) {
      return entries[0].revents;
    }
    // With nothing but output to wait for, any output ends the wait.
    if (ready == 0 || fd < 0 || left == 0) {
      return 0;
    }
  }
}

void ServerProcess::Drain() {
  char buffer[4096];
  pollfd entry{output_fd_, POLLIN, 0};
  while (output_fd_ >= 0 && poll(&entry, 1, 0) == 1) {
    const ssize_t count = read(output_fd_, buffer, sizeof buffer);
    if (count > 0) {
      output_.append(buffer, static_cast<size_t>(count));
    } else if (count == 0 || errno != EINTR) {
      close(output_fd_);
      output_fd_ = -1;
    }
  }
}

}  // namespace e2e
