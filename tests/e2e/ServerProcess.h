#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace e2e {

class ServerProcess;

// Names the server whose board root a second server shares.
struct SameRootAs {
  const ServerProcess& server;
};

// A guard against a hang, never a timing assertion: every wait of the tests
// ends at once when what it waits for happens.
constexpr int kWaitMs = 20000;

// The real korvexd, run as a child with a fresh board root of its own and a
// port of its own. Its standard output and error are drained into output()
// whenever a test waits for anything, so the server never blocks on a full
// pipe. The destructor kills a server still running and removes the root.
class ServerProcess {
 public:
  ServerProcess();
  // A server on the board root of another, which stays that one's to remove.
  explicit ServerProcess(SameRootAs other);
  ~ServerProcess();
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  // The board path under this server's root.
  std::string Path(const std::string& absolute_path) const { return root_ + absolute_path; }
  uint16_t port() const { return port_; }
  // Before Start: the port to serve in place of the free one picked.
  void set_port(uint16_t port) { port_ = port; }
  // Before Start: GATEWAY_ROOT names the root relative to its parent folder,
  // in which the server starts.
  void use_relative_root() { relative_root_ = true; }
  // Before Start: what the child does last before the exec, its output already
  // on descriptors 1 and 2 (closing one of them, a limit).
  void set_before_exec(std::function<void()> before_exec) { before_exec_ = std::move(before_exec); }
  pid_t pid() const { return pid_; }
  // Started and not yet seen to end.
  bool running() const { return pid_ > 0 && !status_; }

  // Starts korvexd with exactly these arguments.
  [[nodiscard]] bool Start(const std::vector<std::string>& args);
  // Starts korvexd on its port and waits until it serves the board's control
  // socket, which it opens after it listens for the controller.
  [[nodiscard]] bool StartServing(const std::vector<std::string>& extra_args = {});
  // Waits until the control socket answers; false when the server ended.
  [[nodiscard]] bool WaitReady();

  // Waits for the child to end: the exit code of a normal end, -1 for any
  // other end or a hang.
  int WaitExitCode();
  // For a server started with -D: the pid its pid file names, as a script's
  // `$(cat server.pid)` reads it; -1 when the file names none.
  pid_t DaemonPid() const;
  // `kill -TERM` to the daemon and a wait for its end, draining the output and
  // the log meanwhile; SIGKILL and false when it does not end. With status set,
  // which needs this process to be the daemon's subreaper, its raw wait status.
  bool StopDaemon(pid_t pid, int* status = nullptr);
  void Signal(int number) const;

  // Waits until the output holds text at or after offset; false, with a test
  // failure, on a hang.
  [[nodiscard]] bool WaitForOutput(const std::string& text, size_t offset = 0);
  // The same without the failure, for a wait that may be tried again.
  [[nodiscard]] bool OutputShows(const std::string& text, size_t offset, int timeout_ms);
  const std::string& output() const { return output_; }

  // Plays the board's system log: binds a datagram socket at /dev/log under
  // the root, drained into syslog() like the output.
  [[nodiscard]] bool CaptureSysLog();
  // The lines received, each line's NUL made a newline.
  const std::string& syslog() const { return syslog_; }
  [[nodiscard]] bool WaitForSysLog(const std::string& text);

  // Waits for events on fd while draining the server's output and log; the
  // revents of fd, 0 on a hang.
  short Wait(int fd, short events, int timeout_ms = kWaitMs);

 private:
  void Drain();
  void DrainSysLog();

  std::string root_;
  bool owns_root_ = true;
  bool relative_root_ = false;
  std::function<void()> before_exec_;
  uint16_t port_ = 0;
  pid_t pid_ = -1;
  int pidfd_ = -1;
  int output_fd_ = -1;
  std::optional<int> status_;
  std::string output_;
  int syslog_fd_ = -1;
  std::string syslog_;
};

}  // namespace e2e
