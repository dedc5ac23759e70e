#pragma once

#include "runtime/containers/F_dual_list.h"

#include <cstdint>
#include <memory>

class Timer;

// One pending one-shot timer on the loop's wrapping millisecond clock.
class TimerEvent : public F_dual_list_item<TimerEvent> {
 public:
  TimerEvent() = default;
  TimerEvent(const TimerEvent&) = delete;
  TimerEvent& operator=(const TimerEvent&) = delete;
  // Cancels: removes the event from the timer list.
  virtual ~TimerEvent();
  virtual void fire() = 0;

  // Signed difference of the deadlines, sound across the 2^32 ms wrap.
  int32_t compare(const TimerEvent* other) const { return static_cast<int32_t>(deadline - other->deadline); }
  // Due ms from now on the loop clock.
  void schedule(unsigned ms);
  void reset();

  uint32_t deadline = 0;
  // The ms it was set for: deadline - period is the clock reading it counts from.
  uint32_t period = 0;

 private:
  friend class Multiplexer;
  bool queued_ = false;
};

// Owns at most one pending event; setting it again replaces (cancels) the
// pending one, and destroying or resetting it cancels it. A fired event has
// already left its Timer when the callback runs, so the callback may set the
// same Timer again.
class Timer {
 public:
  Timer() = default;
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;

  template <class X>
  void set(unsigned ms, void (X::*method)(), X* obj);
  template <class X>
  void set(unsigned ms, void (X::*method)(Timer*), X* obj);

  void reset() { event_.reset(); }
  TimerEvent* get() const { return event_.get(); }
  // Gives up the pending event without cancelling it (the event is firing).
  TimerEvent* release() { return event_.release(); }

 protected:
  void Replace(TimerEvent* event) { event_.reset(event); }

 private:
  std::unique_ptr<TimerEvent> event_;
};

// Calls a member without argument.
template <class X>
class ObjTimerEvent1 : public TimerEvent {
 public:
  ObjTimerEvent1(Timer* owner, unsigned ms, void (X::*method)(), X* obj) : owner_(owner), method_(method), obj_(obj) {
    schedule(ms);
  }
  void fire() override {
    owner_->release();
    (obj_->*method_)();
    delete this;
  }

 private:
  Timer* owner_;
  void (X::*method_)();
  X* obj_;
};

// Calls a member that receives the owning Timer.
template <class X>
class ObjTimerEvent2 : public TimerEvent {
 public:
  ObjTimerEvent2(Timer* owner, unsigned ms, void (X::*method)(Timer*), X* obj)
      : owner_(owner), method_(method), obj_(obj) {
    schedule(ms);
  }
  void fire() override {
    owner_->release();
    (obj_->*method_)(owner_);
    delete this;
  }

 private:
  Timer* owner_;
  void (X::*method_)(Timer*);
  X* obj_;
};

// Calls a plain function.
class SimpleTimerEvent1 : public TimerEvent {
 public:
  SimpleTimerEvent1(Timer* owner, unsigned ms, void (*function)()) : owner_(owner), function_(function) {
    schedule(ms);
  }
  void fire() override {
    owner_->release();
    function_();
    delete this;
  }

 private:
  Timer* owner_;
  void (*function_)();
};

template <class X>
void Timer::set(unsigned ms, void (X::*method)(), X* obj) {
  Replace(new ObjTimerEvent1<X>(this, ms, method, obj));
}

template <class X>
void Timer::set(unsigned ms, void (X::*method)(Timer*), X* obj) {
  Replace(new ObjTimerEvent2<X>(this, ms, method, obj));
}

// A Timer armed from a static {method, ms} spec of its owner class.
template <class X>
struct TimerSpec {
  struct Spec {
    void (X::*method)();
    uint32_t ms;
  };

  template <const Spec& spec>
  class SpecTimer : public Timer {
   public:
    void set(X* obj) { Timer::set<X>(spec.ms, spec.method, obj); }
  };
};
