#pragma once

#include "runtime/loop/Event.h"
#include "runtime/loop/Timer.h"
#include "runtime/net/Fd.h"
#include "runtime/transport/ControlService.h"

namespace Control {

// The connecting side shared by the TCP and Unix connectors; Base is the
// service of the socket family. It tries until it gets through and again
// after a connection ends, paced by a timer so the loop never waits: after
// activation the first failures are retried quickly, later ones slowly.
template <class Base>
class Connector : public Base {
 protected:
  explicit Connector(const char* event_name) : Base(true) {
    socket_event_.Bind(event_name, &Connector::OnSocketEvent, this);
  }

  bool ImplActivate() override {
    fast_retries_ = kFastRetries;
    TryConnect();
    return true;
  }
  void ImplDeactivate() override {
    this->Release();
    socket_.close();
    retry_timer_.reset();
    socket_event_.Release();
  }
  void ImplOnDisconnect() override { retry_timer_.set(kReconnectMs, &Connector::OnTimeout, this); }

  // One attempt: a new socket replaces the last one.
  virtual void TryConnect() = 0;
  virtual void OnSocketEvent(int fd, short revents) = 0;
  void OnTimeout(Timer*) { TryConnect(); }

  // After a failed attempt: soon while fast retries are left, else after
  // slow_ms, replacing any pending attempt.
  void Retry(unsigned slow_ms) {
    if (fast_retries_ > 0) {
      --fast_retries_;
      retry_timer_.set(kFastRetryMs, &Connector::OnTimeout, this);
      return;
    }
    retry_timer_.set(slow_ms, &Connector::OnTimeout, this);
  }

  static constexpr int kFastRetries = 7;
  static constexpr unsigned kFastRetryMs = 1000;
  static constexpr unsigned kReconnectMs = 10000;

  Fd socket_;
  Timer retry_timer_;
  Event socket_event_;
  int fast_retries_ = 0;
};

}  // namespace Control
