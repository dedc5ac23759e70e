#include "runtime/log/Daemon.h"

#include "runtime/log/LogFileStreamBuf.h"
#include "runtime/log/SysLogManager.h"
#include "runtime/log/SysLogStreamBuf.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>

namespace Daemon {

// Holds what the redirection needs for the rest of the run. Destroyed at exit.
class Sentry {
 public:
  explicit Sentry(const Params& params);
  Sentry(const Sentry&) = delete;
  Sentry& operator=(const Sentry&) = delete;
  ~Sentry();

  void Ready(const std::string& note);

 private:
  void Detach(bool nochdir);
  void StartSysLog(const std::string& name);

  // The daemon's end of the pipe its launcher waits on, until Ready().
  int ready_ = -1;
  // Mode 1 only.
  std::unique_ptr<LogFileStreamBuf> log_file_;
};

namespace {

// The longest ident the log carries.
constexpr size_t kIdentLength = 79;

[[noreturn]] void Fail(const char* call) {
  const int error = errno;
  std::cerr << "daemon() fail! " << call << ": " << std::strerror(error) << std::endl;
  std::exit(2);
}

// The launcher's part: it leaves only once the daemon is ready, so whoever
// started it finds the daemon's pid file in place, and passes on what the
// daemon had to say by then; when the daemon ends first, it says how and
// fails. _exit: what the process holds is the daemon's now.
[[noreturn]] void AwaitReady(pid_t daemon_pid, int ready) {
  // The server's handlers would only set a flag here: a stop of a start that
  // hangs ends the launcher at once, and the daemon goes on.
  signal(SIGTERM, SIG_DFL);
  signal(SIGINT, SIG_DFL);
  std::string said;
  char chunk[256];
  for (;;) {
    const ssize_t got = read(ready, chunk, sizeof chunk);
    if (got > 0) {
      said.append(chunk, static_cast<size_t>(got));
    } else if (got == 0 || errno != EINTR) {
      break;
    }
  }
  if (!said.empty()) {
    // The first byte says ready; the rest is a line for whoever started it.
    if (said.size() > 1) {
      std::cerr << said.substr(1) << std::endl;
    }
    _exit(0);
  }
  int status = 0;
  pid_t reaped;
  while ((reaped = waitpid(daemon_pid, &status, 0)) < 0 && errno == EINTR) {
  }
  std::cerr << "daemon (pid " << daemon_pid << ") ended before it was ready: ";
  if (reaped < 0) {
    std::cerr << "status unknown: " << std::strerror(errno);
  } else if (WIFSIGNALED(status)) {
    std::cerr << "signal " << WTERMSIG(status);
  } else {
    std::cerr << "exit status " << WEXITSTATUS(status);
  }
  std::cerr << std::endl;
  _exit(1);
}

}  // namespace

Sentry::Sentry(const Params& params) {
  Detach(params.nochdir);
  if (params.mode == 0) {
    StartSysLog(params.name);
    return;
  }
  if (params.mode == 1) {
    log_file_ = std::make_unique<LogFileStreamBuf>(params.name);
    std::cout.rdbuf(log_file_.get());
    std::cerr.rdbuf(log_file_.get());
    std::clog.rdbuf(log_file_.get());
  }
}

Sentry::~Sentry() {
  if (ready_ >= 0) {
    close(ready_);
  }
  if (!log_file_) {
    return;
  }
  std::cout.rdbuf(nullptr);
  std::cerr.rdbuf(nullptr);
  std::clog.rdbuf(nullptr);
}

// What daemon(nochdir, 0) does, except that the launcher waits for Ready().
void Sentry::Detach(bool nochdir) {
  // Text held for the console would otherwise be written by both processes.
  std::cout.flush();
  std::cerr.flush();
  std::clog.flush();
  // An ignored SIGCHLD, inherited from whoever started the server, would let
  // the daemon's end go unseen by the launcher's waitpid.
  signal(SIGCHLD, SIG_DFL);
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) {
    Fail("pipe");
  }
  const pid_t pid = fork();
  if (pid < 0) {
    Fail("fork");
  }
  if (pid > 0) {
    close(ends[1]);
    AwaitReady(pid, ends[0]);
  }
  close(ends[0]);
  ready_ = ends[1];
  if (setsid() < 0) {
    Fail("setsid");
  }
  if (!nochdir && chdir("/") != 0) {
    Fail("chdir");
  }
  const int null = open("/dev/null", O_RDWR);
  if (null < 0) {
    Fail("open /dev/null");
  }
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (fd != null) {
      dup2(null, fd);
    }
  }
  if (null > STDERR_FILENO) {
    close(null);
  }
}

void Sentry::Ready(const std::string& note) {
  if (ready_ < 0) {
    return;
  }
  const std::string message = '\0' + note;
  static_cast<void>(write(ready_, message.data(), message.size()));
  close(ready_);
  ready_ = -1;
}

void Sentry::StartSysLog(const std::string& name) {
  SysLogManager& manager = syslogManager();
  manager.openlog(name.substr(0, kIdentLength).c_str(), LOG_NDELAY, 0);
  // The streams use these buffers until the very end, after every static object
  // is gone, so they are never freed.
  std::cout.rdbuf(new ManagedSysLogStreamBuf(LOG_DAEMON, LOG_NOTICE));
  std::cerr.rdbuf(new ManagedSysLogStreamBuf(LOG_DAEMON, LOG_ERR));
  std::clog.rdbuf(new ManagedSysLogStreamBuf(LOG_DAEMON, LOG_DEBUG));
  std::cin.tie(&std::cout);
  // Whatever is written straight to descriptors 1 and 2 (a child program, a
  // library) then reaches the log too, as a raw datagram.
  if (manager.GetDescriptor() > 0) {
    dup2(manager.GetDescriptor(), STDOUT_FILENO);
    dup2(manager.GetDescriptor(), STDERR_FILENO);
  }
}

namespace {

std::unique_ptr<Sentry>& TheSentry() {
  static std::unique_ptr<Sentry> sentry;
  return sentry;
}

}  // namespace

void Init(const Params& params) {
  if (!TheSentry()) {
    TheSentry() = std::make_unique<Sentry>(params);
  }
}

void Ready(const std::string& note) {
  if (TheSentry()) {
    TheSentry()->Ready(note);
  }
}

}  // namespace Daemon
