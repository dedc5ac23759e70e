#include "runtime/loop/ChildWait.h"

#include "runtime/loop/Signal.h"

#include <signal.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <sys/wait.h>

#include <cerrno>
#include <iostream>

ChildWaitService* ChildWaitService::childWaitService = nullptr;

namespace {

int& InitializeCount() {
  static int count = 0;
  return count;
}

// Creates the service during static initialisation and removes it at exit.
struct ChildWaitLifetime {
  ChildWaitLifetime() { ChildWait::Initialize(); }
  ~ChildWaitLifetime() { ChildWait::Cleanup(); }
} child_wait_lifetime;

// The raw status waitpid() would give, from what waitid() tells.
int RawWaitStatus(const siginfo_t& info) {
  switch (info.si_code) {
    case CLD_EXITED:
      return (info.si_status & 0xff) << 8;
    case CLD_DUMPED:
      return (info.si_status & 0x7f) | 0x80;
    default:
      return info.si_status & 0x7f;
  }
}

}  // namespace

ChildWait::~ChildWait() {
  handler_->~Handler();
  Detach();
}

void ChildWait::Attach(int pid) {
  pid_ = pid;
  Detach();
  if (ChildWaitService::childWaitService != nullptr) {
    ChildWaitService::childWaitService->waits_.insert_to_tail(this);
  }
}

void ChildWait::Detach() {
  ChildWaitService* service = ChildWaitService::childWaitService;
  if (service != nullptr && service->waits_.contains(this)) {
    service->waits_.remove(this);
  }
}

void ChildWait::Initialize() {
  if (InitializeCount()++ == 0) {
    ChildWaitService::childWaitService = new ChildWaitService;
  }
}

void ChildWait::Cleanup() {
  if (--InitializeCount() != 0) {
    return;
  }
  ChildWaitService* service = ChildWaitService::childWaitService;
  ChildWaitService::childWaitService = nullptr;
  service->event_.Release();
  service->write_end_.close();
  delete service;
}

void ChildWait::Activate() {
  if (ChildWaitService::childWaitService != nullptr) {
    ChildWaitService::childWaitService->Activate();
  }
}

void ChildWaitService::Activate() {
  int fds[2];
  if (socketpair(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds) != 0) {
    std::cerr << "ChildWaitService: initialize fails" << std::endl;
    return;
  }
  write_end_ = Fd(fds[0]);
  event_.Bind("ChildWaitService::OnChildEvent", &ChildWaitService::OnChildEvent, this);
  Fd read_end(fds[1]);
  event_.Schedule(read_end, POLLIN);
  IPC::Signal::handle(SIGCHLD, &ChildWaitService::SigChldHandlerWrapper, SA_RESTART);
}

void ChildWaitService::SigChldHandlerWrapper(int, siginfo_t*, void*) {
  int saved_errno = errno;
  ChildWaitService* service = childWaitService;
  if (service != nullptr) {
    service->Reap();
  }
  errno = saved_errno;
}

void ChildWaitService::Reap() {
  for (;;) {
    // Look first, reap after the record is queued: a child whose record does
    // not fit the (non-blocking) queue stays unreaped until the loop has
    // drained it, instead of blocking here or being lost.
    siginfo_t info{};
    if (waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) != 0 || info.si_pid == 0) {
      return;
    }
    int record[2] = {info.si_pid, RawWaitStatus(info)};
    iovec pieces[2] = {{&record[0], sizeof record[0]}, {&record[1], sizeof record[1]}};
    if (write_end_ && writev(write_end_.get(), pieces, 2) < 0 && errno == EAGAIN) {
      return;
    }
    int status = 0;
    waitpid(info.si_pid, &status, WNOHANG);
  }
}

void ChildWaitService::OnChildEvent(int fd, short revents) {
  if ((revents & POLLIN) == 0) {
    return;
  }
  int pid = 0;
  int status = 0;
  iovec pieces[2] = {{&pid, sizeof pid}, {&status, sizeof status}};
  while (readv(fd, pieces, 2) == static_cast<ssize_t>(sizeof pid + sizeof status)) {
    std::clog << "terminate child process, pid=" << pid << " status=" << status << std::endl;
    for (ChildWait& wait : waits_) {
      if (wait.pid_ != pid) {
        continue;
      }
      waits_.remove(&wait);
      wait.handler_->Invoke(wait, status);
      break;
    }
  }
  // Children left waiting while the queue was full send no new SIGCHLD.
  sigset_t child_signal;
  sigset_t saved;
  sigemptyset(&child_signal);
  sigaddset(&child_signal, SIGCHLD);
  sigprocmask(SIG_BLOCK, &child_signal, &saved);
  Reap();
  sigprocmask(SIG_SETMASK, &saved, nullptr);
}
