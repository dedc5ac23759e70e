#pragma once

#include "runtime/containers/F_dual_list.h"
#include "runtime/loop/Event.h"
#include "runtime/net/Fd.h"

#include <signal.h>

#include <cstddef>
#include <new>

// The notification of one child's exit, a member of the child's owner. The
// owner hears of the exit on the loop's thread, through its bound handler.
class ChildWait : public F_dual_list_item<ChildWait> {
 public:
  class Handler {
   public:
    virtual ~Handler() = default;
    virtual void Invoke(ChildWait& wait, int status) = 0;
  };

  // Calls obj->*f(status).
  template <class X>
  class THandler1 : public Handler {
   public:
    THandler1(X* obj, void (X::*f)(int)) : obj_(obj), f_(f) {}
    void Invoke(ChildWait&, int status) override { (obj_->*f_)(status); }

   private:
    X* obj_;
    void (X::*f_)(int);
  };

  class DummyHandler : public Handler {
   public:
    void Invoke(ChildWait&, int) override {}
  };

  ChildWait() { handler_ = new (storage_) DummyHandler; }
  ~ChildWait();
  ChildWait(const ChildWait&) = delete;
  ChildWait& operator=(const ChildWait&) = delete;

  // The handler lives in the ChildWait itself: binding never allocates.
  template <class X>
  void Bind(X* obj, void (X::*f)(int)) {
    static_assert(sizeof(THandler1<X>) <= kStorageSize, "handler does not fit its storage");
    handler_->~Handler();
    handler_ = new (storage_) THandler1<X>(obj, f);
  }

  // Waits for the exit of pid (a child just started by the owner).
  void Attach(int pid);
  void Detach();
  int pid() const { return pid_; }

  // Counted creation and destruction of the reaping service.
  static void Initialize();
  static void Cleanup();
  // Starts reaping: the exit socket pair, its Event and the SIGCHLD handler.
  static void Activate();

 private:
  friend class ChildWaitService;
  static constexpr size_t kStorageSize = 64;

  int pid_ = 0;
  alignas(std::max_align_t) unsigned char storage_[kStorageSize];
  Handler* handler_;
};

// Reaps every exited child in the SIGCHLD handler and hands each exit, as one
// 8-byte record {pid, raw wait status} in host byte order, to the loop through
// a datagram socket pair.
class ChildWaitService {
 public:
  static ChildWaitService* childWaitService;

  static void SigChldHandlerWrapper(int sig, siginfo_t* info, void* context);
  void OnChildEvent(int fd, short revents);

 private:
  friend class ChildWait;

  void Activate();
  // Reaps every exited child whose exit record fits the queue.
  void Reap();

  Event event_;
  // Non-blocking, so the signal handler never waits on a full queue.
  Fd write_end_;
  F_dual_list<ChildWait> waits_;
};
