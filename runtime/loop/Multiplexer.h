#pragma once

#include "runtime/clock/Measure.h"
#include "runtime/containers/F_dual_list.h"
#include "runtime/loop/EventHandler.h"
#include "runtime/loop/Timer.h"

#include <poll.h>

#include <csignal>
#include <cstdint>
#include <list>
#include <ostream>
#include <vector>

class Dpc;
class TimerPoolPlugin;

// The single-threaded event loop: fires due timers, runs the active deferred
// calls twice per pass, polls every registered descriptor, feeds the hardware
// watchdog and serves every handler on every poll return.
class Multiplexer {
 public:
  // Lets a plug-in unhook itself while the plug-ins are being asked.
  class TimerPollNotify {
   public:
    virtual ~TimerPollNotify() = default;
    virtual void remove_plugin(TimerPoolPlugin* plugin) = 0;
  };

  Multiplexer() = default;
  Multiplexer(const Multiplexer&) = delete;
  Multiplexer& operator=(const Multiplexer&) = delete;

  // Runs passes until terminate(); a terminate requested before the call is
  // kept, so the loop stops after its first pass.
  void run(bool watchdog, bool liveTime);
  // Safe from a signal handler.
  void terminate() { terminate_ = 1; }
  void resetWD();
  void dump(std::ostream& os) const;

  void attach(EventHandler* handler);
  void detach(EventHandler* handler);

  void set(TimerEvent* event);
  void reset(TimerEvent* event);
  void attach(Dpc* dpc);
  void dettach(Dpc* dpc);
  void execute_dpc();
  // Fires the due timers and runs the deferred calls once; returns the
  // milliseconds until the next timer (0 when none is pending).
  uint32_t timers_schedule();

  void hook(TimerPoolPlugin* plugin);
  void unhook(TimerPoolPlugin* plugin);
  // The smallest non-negative timeout the plug-ins want, 0x7fffffff for none.
  int timerPoll_schedule();

 private:
  void OpenWatchdog();
  void CloseWatchdog();
  void RunPass(bool liveTime, bool& pinged, uint32_t& last_ping);
  // Moves the new handlers to the active list, each with a poll entry of its own.
  void JoinNewHandlers();
  // Drops the handler's poll entry; the last entry fills the gap, its results
  // travelling with it.
  void DropPollEntry(EventHandler* handler);
  int PollTimeout(int plugin_timeout) const;
  void ServeHandlers();
  // Takes a reading of the loop clock; one earlier than the last means the
  // clock moved back, and the pending deadlines move back with it.
  void FollowClock(uint32_t now);

  F_sorted_list<TimerEvent> timers_;
  F_dual_list<EventHandler> new_;
  // Kept in serving order; while a pass serves, the handlers before
  // next_to_serve_ are the ones already served.
  F_dual_list<EventHandler> active_;
  EventHandler* next_to_serve_ = nullptr;
  // One entry per active handler, kept up to date on attach and detach rather
  // than rebuilt each pass; poll_owners_[i] owns poll_vector_[i].
  std::vector<pollfd> poll_vector_;
  std::vector<EventHandler*> poll_owners_;
  std::list<Dpc*> dpcs_;
  std::list<Dpc*> dpc_run_;
  volatile sig_atomic_t terminate_ = 0;
  Measure dpc_measure_;
  Measure event_measure_;
  Measure timer_measure_;
  std::list<TimerPoolPlugin*> plugins_;
  TimerPollNotify* notify_ = nullptr;
  int watchdog_ = -1;
  // The latest reading of the clock that the pending deadlines count from.
  uint32_t clock_ = 0;
  bool clock_read_ = false;
};

// The process-wide loop.
extern Multiplexer multiplexer;

// An object that can limit how long the loop waits in poll.
class TimerPoolPlugin {
 public:
  TimerPoolPlugin() = default;
  TimerPoolPlugin(const TimerPoolPlugin&) = delete;
  TimerPoolPlugin& operator=(const TimerPoolPlugin&) = delete;
  virtual ~TimerPoolPlugin() { timerUnhook(); }
  // Milliseconds the plug-in lets the loop wait; negative: no limit.
  virtual int timeout() = 0;

  void timerHook();
  void timerUnhook();

 private:
  bool hooked_ = false;
};
