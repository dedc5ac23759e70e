#include "runtime/log/Daemon.h"

#include "runtime/log/LogFileStreamBuf.h"
#include "runtime/log/SysLogManager.h"
#include "runtime/log/SysLogStreamBuf.h"

#include <syslog.h>
#include <unistd.h>

#include <cstdlib>
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

 private:
  void StartSysLog(const std::string& name);

  // Mode 1 only.
  std::unique_ptr<LogFileStreamBuf> log_file_;
};

namespace {

// The longest ident the log carries.
constexpr size_t kIdentLength = 79;

}  // namespace

Sentry::Sentry(const Params& params) {
  if (daemon(params.nochdir ? 1 : 0, 0) != 0) {
    std::cerr << "daemon() fail!" << std::endl;
    std::exit(2);
  }
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
  if (!log_file_) {
    return;
  }
  std::cout.rdbuf(nullptr);
  std::cerr.rdbuf(nullptr);
  std::clog.rdbuf(nullptr);
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

void Init(const Params& params) {
  static std::unique_ptr<Sentry> sentry;
  if (!sentry) {
    sentry = std::make_unique<Sentry>(params);
  }
}

}  // namespace Daemon
