#include "runtime/loop/Signal.h"

namespace IPC {
namespace Signal {
namespace {

int Install(int sig, struct sigaction& action, const sigset_t* mask, int flags) {
  if (mask != nullptr) {
    action.sa_mask = *mask;
  } else {
    sigemptyset(&action.sa_mask);
  }
  action.sa_flags |= flags;
  return sigaction(sig, &action, nullptr);
}

int InstallPlain(int sig, Handler handler, const sigset_t* mask, int flags) {
  struct sigaction action {};
  action.sa_handler = handler;
  return Install(sig, action, mask, flags & ~SA_SIGINFO);
}

int InstallInfo(int sig, InfoHandler handler, const sigset_t* mask, int flags) {
  struct sigaction action {};
  action.sa_sigaction = handler;
  return Install(sig, action, mask, flags | SA_SIGINFO);
}

// What siginterrupt() did: a restarting handler does not interrupt system calls.
int SetRestart(int sig, bool restart) {
  struct sigaction action {};
  if (sigaction(sig, nullptr, &action) != 0) {
    return -1;
  }
  action.sa_flags = restart ? action.sa_flags | SA_RESTART : action.sa_flags & ~SA_RESTART;
  return sigaction(sig, &action, nullptr);
}

}  // namespace

Set::Set(int a, int b) {
  sigemptyset(&set_);
  sigaddset(&set_, a);
  sigaddset(&set_, b);
}

Set::Set(int a, int b, int c) : Set(a, b) {
  sigaddset(&set_, c);
}

bool Set::is_signal(int sig) {
  sigset_t probe;
  sigemptyset(&probe);
  return sigaddset(&probe, sig) == 0;
}

int handle(int sig, Handler handler, int flags) {
  return InstallPlain(sig, handler, nullptr, flags);
}

int handle(int sig, Handler handler, const Set& mask, int flags) {
  return InstallPlain(sig, handler, &mask.get(), flags);
}

int handle(int sig, InfoHandler handler, int flags) {
  return InstallInfo(sig, handler, nullptr, flags);
}

int handle(int sig, InfoHandler handler, const Set& mask, int flags) {
  return InstallInfo(sig, handler, &mask.get(), flags);
}

int ignore(int sig) {
  return InstallPlain(sig, SIG_IGN, nullptr, 0);
}

int system(int sig) {
  return InstallPlain(sig, SIG_DFL, nullptr, 0);
}

int disable_int(int sig) {
  return SetRestart(sig, true);
}

int enable_int(int sig) {
  return SetRestart(sig, false);
}

}  // namespace Signal
}  // namespace IPC
