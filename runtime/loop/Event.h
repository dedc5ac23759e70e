#pragma once

#include "runtime/clock/Measure.h"
#include "runtime/loop/EventHandler.h"
#include "runtime/net/Fd.h"

#include <cstdint>
#include <memory>
#include <string>

// A descriptor the loop polls for its owner: the descriptor (an owned
// duplicate), the wanted poll events, a name for the status dump and the
// owner's callback.
class Event : public EventHandler {
 public:
  class Handler {
   public:
    virtual ~Handler() = default;
    virtual void Invoke(int fd, short revents) = 0;
  };

  // Calls obj->*action(fd, revents).
  template <class X>
  class THandler : public Handler {
   public:
    THandler(void (X::*action)(int, short), X* obj) : action_(action), obj_(obj) {}
    void Invoke(int fd, short revents) override {
      if (action_ != nullptr) {
        (obj_->*action_)(fd, revents);
      }
    }

   private:
    void (X::*action_)(int, short);
    X* obj_;
  };

  Event() = default;
  ~Event() override;

  // Takes ownership of handler and deletes the one bound before.
  void Bind(Handler* handler);
  template <class X>
  void Bind(const std::string& name, void (X::*action)(int, short), X* obj) {
    name_ = name;
    Bind(new THandler<X>(action, obj));
  }
  void UnBind();

  // Waits on a close-on-exec duplicate of fd (or keeps its own descriptor when
  // given it) for events. Rescheduling moves the Event to the end of the
  // serving order.
  void Schedule(const Fd& fd, short events);
  // Stops polling and closes the descriptor; the handler stays bound.
  void Release();

  void shedule_event(pollfd& entry) override;
  void svc_event(short revents) override;
  const char* event_name() const override { return name_.c_str(); }
  bool is_named() const override { return true; }
  using EventHandler::svc_event;

  const Fd& GetFd() const { return fd_; }
  short GetEvents() const { return events_; }
  uint32_t GetCounter() const { return counter_; }
  bool IsBound() const { return handler_ != nullptr; }
  const Measure& GetMeasure() const { return measure_; }

 private:
  std::unique_ptr<Handler> handler_;
  Fd fd_;
  short events_ = 0;
  std::string name_ = "Unknown";
  // Polls whose result had a wanted bit.
  uint32_t counter_ = 0;
  Measure measure_;
};

// "POLLIN|POLLOUT" for 5; empty for 0.
std::string PollEventAsText(short events);
