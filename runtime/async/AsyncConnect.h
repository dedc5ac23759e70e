#pragma once

#include "runtime/loop/Event.h"
#include "runtime/loop/Timer.h"
#include "runtime/net/Fd.h"

#include <memory>
#include <string>

namespace ASync {

// Opens an outgoing TCP connection without blocking, with a time-out.
class Connect {
 public:
  struct Status {
    enum Type {
      kIdle = 0,
      kConnecting = 1,
      kFailed = 2,  // error, refusal, time-out or an address that does not parse
      kConnected = 3,
      kStopped = 4
    };
  };

  class Handler {
   public:
    virtual ~Handler() = default;
    // The handler owns fd (empty unless connected).
    virtual void Invoke(Status::Type status, Fd fd) = 0;
  };

  template <class X>
  class THandler : public Handler {
   public:
    THandler(X* obj, void (X::*f)(Status::Type, Fd)) : obj_(obj), f_(f) {}
    void Invoke(Status::Type status, Fd fd) override { (obj_->*f_)(status, std::move(fd)); }

   private:
    X* obj_;
    void (X::*f_)(Status::Type, Fd);
  };

  Connect() = default;
  Connect(const Connect&) = delete;
  Connect& operator=(const Connect&) = delete;
  ~Connect() = default;

  void Bind(Handler* handler) { handler_.reset(handler); }
  template <class X>
  void Bind(X* obj, void (X::*f)(Status::Type, Fd)) {
    Bind(new THandler<X>(obj, f));
  }
  void UnBind() { handler_.reset(); }

  // address: "a.b.c.d:port".
  void Start(const std::string& address, unsigned timeout_ms);
  void Stop();
  Status::Type status() const { return state_; }

 private:
  void OnSocketEvent(int fd, short revents);
  void OnTimeOut(Timer* timer);
  void Complete(Status::Type status);

  Status::Type state_ = Status::kIdle;
  std::unique_ptr<Handler> handler_;
  Timer timer_;
  Event event_;
  Fd socket_;
};

}  // namespace ASync
