#pragma once

#include <signal.h>

// Thin sigaction wrappers.
namespace IPC {
namespace Signal {

class Set {
 public:
  Set(int a, int b);
  Set(int a, int b, int c);
  const sigset_t& get() const { return set_; }
  static bool is_signal(int sig);

 private:
  sigset_t set_;
};

using Handler = void (*)(int);
using InfoHandler = void (*)(int, siginfo_t*, void*);

// sigaction with an empty mask unless given; a plain handler never gets
// SA_SIGINFO, an information handler always does. Returns the sigaction result.
int handle(int sig, Handler handler, int flags);
int handle(int sig, Handler handler, const Set& mask, int flags);
int handle(int sig, InfoHandler handler, int flags);
int handle(int sig, InfoHandler handler, const Set& mask, int flags);
int ignore(int sig);
int system(int sig);
int disable_int(int sig);
int enable_int(int sig);

}  // namespace Signal
}  // namespace IPC
