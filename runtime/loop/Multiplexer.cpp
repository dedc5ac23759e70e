#include "runtime/loop/Multiplexer.h"

#include "platform/Device.h"
#include "runtime/clock/Mux.h"
#include "runtime/clock/Profile.h"
#include "runtime/log/Table.h"
#include "runtime/loop/Dpc.h"
#include "runtime/loop/Event.h"
#include "runtime/loop/LogRoomWatch.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iostream>

Multiplexer multiplexer;

namespace {

constexpr char kWatchdogPath[] = "/dev/misc/gw-wd";
// A clock that moved back further than this is not followed: every pending
// timer falls due a second later instead.
constexpr uint32_t kMaxTimerWait = 7200000;
// A wait of 2^31 ms or more reads as a deadline behind on the wrapping clock.
constexpr uint32_t kMaxOrderedWait = 0x7fffffff;
constexpr int kWatchdogPeriod = 1000;
constexpr int kNoPluginLimit = 0x7fffffff;

bool WriteWatchdog(int fd, const char* text) {
  size_t length = std::strlen(text);
  return platform::Write(fd, text, length) == static_cast<ssize_t>(length);
}

// -1 is "no limit"; otherwise the smaller wait wins.
int SmallerTimeout(int a, int b) {
  if (a < 0) {
    return b;
  }
  if (b < 0) {
    return a;
  }
  return std::min(a, b);
}

void LogInvalidWait(uint32_t now, uint32_t first, size_t count) {
  std::cerr << "******** RUNTIME ERROR CONDITION *************"
            << "Multiplexer::timers_schedule() invalid wait time detected!" << std::endl
            << "now = " << now << std::endl
            << "first = " << first << std::endl
            << "count = " << count << std::endl;
}

}  // namespace

void Multiplexer::run(bool watchdog, bool liveTime) {
  LogRoomWatch::Install();
  if (watchdog) {
    OpenWatchdog();
  }
  if (!liveTime) {
    Mux::mux_settimeofday();
  }
  bool pinged = false;
  uint32_t last_ping = 0;
  do {
    RunPass(liveTime, pinged, last_ping);
  } while (terminate_ == 0);
  std::clog << "Mux: terminating..." << std::endl;
  CloseWatchdog();
  terminate_ = 0;
}

void Multiplexer::OpenWatchdog() {
  watchdog_ = platform::Open(kWatchdogPath, O_WRONLY | O_CLOEXEC);
  if (watchdog_ < 0) {
    std::cerr << "Mux: fail to open watchdog: " << std::strerror(errno) << std::endl;
    return;
  }
  if (!WriteWatchdog(watchdog_, "START")) {
    std::cerr << "Mux: fail to activate watchdog: " << std::strerror(errno) << std::endl;
    platform::Close(watchdog_);
    watchdog_ = -1;
  }
}

void Multiplexer::CloseWatchdog() {
  if (watchdog_ < 0) {
    return;
  }
  if (!WriteWatchdog(watchdog_, "STOP")) {
    std::cerr << "Mux: stop watchdog failed: " << std::strerror(errno) << std::endl;
  }
  platform::Close(watchdog_);
  watchdog_ = -1;
}

void Multiplexer::resetWD() {
  if (watchdog_ < 0) {
    return;
  }
  if (!WriteWatchdog(watchdog_, "PING")) {
    std::cerr << "Mux: ping watchdog failed: " << std::strerror(errno) << std::endl;
  }
}

void Multiplexer::RunPass(bool liveTime, bool& pinged, uint32_t& last_ping) {
  timers_schedule();
  int plugin_timeout = timerPoll_schedule();
  JoinNewHandlers();
  execute_dpc();
  // Computed after the second deferred run, so a timer it set limits the wait;
  // a pending terminate must not wait at all.
  int timeout = terminate_ != 0 ? 0 : PollTimeout(plugin_timeout);
  // A loop that feeds the watchdog wakes every second, so it is never hung.
  if (watchdog_ >= 0 && (timeout < 0 || timeout > kWatchdogPeriod)) {
    timeout = kWatchdogPeriod;
  }
  if (timeout < 0 && active_.empty()) {
    std::cerr << "multiplexer: system hang detected!!!" << std::endl;
    std::abort();
  }
  int result = poll(poll_vector_.data(), poll_vector_.size(), timeout);
  int poll_errno = errno;
  if (!liveTime) {
    Mux::mux_settimeofday();
  }
  uint32_t now = Mux::milliseconds();
  if (!pinged || static_cast<int32_t>(now - last_ping) < 0 || now - last_ping >= kWatchdogPeriod) {
    pinged = true;
    last_ping = now;
    resetWD();
  }
  if (result > 0) {
    ServeHandlers();
  }
  if (result < 0 && poll_errno != EINTR) {
    std::cerr << "multiplexer poll failed: " << std::strerror(poll_errno) << std::endl;
    std::abort();
  }
}

void Multiplexer::JoinNewHandlers() {
  while (EventHandler* handler = new_.remove_from_head()) {
    active_.insert_to_tail(handler);
    handler->list_ = &active_;
    handler->poll_index_ = static_cast<int>(poll_vector_.size());
    poll_vector_.emplace_back();
    poll_owners_.push_back(handler);
    handler->shedule_event(poll_vector_.back());
  }
}

void Multiplexer::DropPollEntry(EventHandler* handler) {
  const auto index = static_cast<size_t>(handler->poll_index_);
  handler->poll_index_ = -1;
  if (index + 1 != poll_vector_.size()) {
    poll_vector_[index] = poll_vector_.back();
    poll_owners_[index] = poll_owners_.back();
    poll_owners_[index]->poll_index_ = static_cast<int>(index);
  }
  poll_vector_.pop_back();
  poll_owners_.pop_back();
}

int Multiplexer::PollTimeout(int plugin_timeout) const {
  int timer_timeout = -1;
  if (!timers_.empty()) {
    int32_t wait = static_cast<int32_t>(timers_.first()->deadline - Mux::milliseconds());
    if (wait <= 0) {
      timer_timeout = 0;
    } else {
      // A wait beyond two hours is looked at again a second later, so a clock
      // that moved back meanwhile is noticed.
      timer_timeout = static_cast<uint32_t>(wait) > kMaxTimerWait ? kWatchdogPeriod : wait;
    }
  }
  bool plugin_limits = plugin_timeout >= 1 && plugin_timeout != kNoPluginLimit;
  return SmallerTimeout(timer_timeout, plugin_limits ? plugin_timeout : -1);
}

void Multiplexer::ServeHandlers() {
  // Serving walks the active list in place, so served handlers keep their order
  // for the next pass and handlers left unserved by a terminate stay after
  // them. One clock reading ends a handler's sample and begins the next one's.
  next_to_serve_ = active_.first();
  event_measure_.begin();
  while (terminate_ == 0 && next_to_serve_ != nullptr) {
    EventHandler* handler = next_to_serve_;
    next_to_serve_ = handler->next;
    // The entry is read at the handler's turn: detaches by the handlers before
    // it move entries, each with its own results.
    handler->revents_ = poll_vector_[static_cast<size_t>(handler->poll_index_)].revents;
    handler->svc_event();
    event_measure_.restart();
  }
  next_to_serve_ = nullptr;
}

void Multiplexer::attach(EventHandler* handler) {
  if (handler->list_ != nullptr) {
    std::cerr << "duplicate multiplexer attach \"" << handler->event_name() << "\" ignored." << std::endl;
    return;
  }
  new_.insert_to_tail(handler);
  handler->list_ = &new_;
  handler->poll_index_ = -1;
}

void Multiplexer::detach(EventHandler* handler) {
  if (handler->list_ == nullptr) {
    std::cerr << "indvalid Multiplexer::detach " << handler->event_name() << std::endl;
    return;
  }
  if (handler == next_to_serve_) {
    next_to_serve_ = handler->next;
  }
  handler->list_->remove(handler);
  handler->list_ = nullptr;
  // Its entry must not be polled: the descriptor may be closed, or reused by
  // another open, by now.
  if (handler->poll_index_ >= 0) {
    DropPollEntry(handler);
  }
}

void Multiplexer::set(TimerEvent* event) {
  // Out of the list first: a clock step seen below moves the pending
  // deadlines, not the new one.
  reset(event);
  const uint32_t now = event->deadline - event->period;
  // The deadline counts from this reading; the pending ones must count from
  // the same clock.
  FollowClock(now);
  if (event->period > kMaxOrderedWait) {
    LogInvalidWait(now, event->deadline, timers_.count() + 1);
    event->period = kWatchdogPeriod;
    event->deadline = now + kWatchdogPeriod;
  }
  timers_.insert_to_tail_by_grown(event);
  event->queued_ = true;
}

void Multiplexer::reset(TimerEvent* event) {
  if (!event->queued_) {
    return;
  }
  timers_.remove(event);
  event->queued_ = false;
}

void Multiplexer::FollowClock(uint32_t now) {
  const uint32_t last = clock_;
  const bool moved_back = clock_read_ && static_cast<int32_t>(now - last) < 0;
  clock_ = now;
  clock_read_ = true;
  if (!moved_back || timers_.empty()) {
    return;
  }
  // Within two hours every deadline moves back with the clock, so each wait
  // stays what it was and the order stays; keep-alives and supervision go on
  // instead of stalling until the clock catches up.
  const uint32_t step = last - now;
  if (step <= kMaxTimerWait) {
    for (TimerEvent& event : timers_) {
      event.deadline -= step;
    }
    return;
  }
  LogInvalidWait(now, timers_.first()->deadline, timers_.count());
  for (TimerEvent& event : timers_) {
    event.deadline = now + kWatchdogPeriod;
  }
}

uint32_t Multiplexer::timers_schedule() {
  uint32_t now = Mux::milliseconds();
  FollowClock(now);
  for (;;) {
    // What was due at the start of the pass fires. A callback that found the
    // clock moved back took the deadlines back with it, and so the bar too.
    if (static_cast<int32_t>(clock_ - now) < 0) {
      now = clock_;
    }
    if (timers_.empty() || static_cast<int32_t>(now - timers_.first()->deadline) < 0) {
      break;
    }
    timer_measure_.begin();
    TimerEvent* event = timers_.remove_from_head();
    event->queued_ = false;
    event->fire();
    timer_measure_.end();
  }
  execute_dpc();
  if (timers_.empty()) {
    return 0;
  }
  // From a fresh reading: the callbacks and deferred calls took time.
  const int32_t wait = static_cast<int32_t>(timers_.first()->deadline - Mux::milliseconds());
  return wait > 0 ? static_cast<uint32_t>(wait) : 0;
}

void Multiplexer::attach(Dpc* dpc) {
  dpcs_.push_back(dpc);
  dpcs_.sort(std::less<Dpc*>());
  dpcs_.unique();
}

void Multiplexer::dettach(Dpc* dpc) {
  dpcs_.remove(dpc);
  dpc_run_.remove(dpc);
}

void Multiplexer::execute_dpc() {
  dpc_run_ = dpcs_;
  while (!dpc_run_.empty()) {
    Dpc* dpc = dpc_run_.front();
    dpc_run_.pop_front();
    dpc_measure_.begin();
    dpc->Invoke();
    dpc_measure_.end();
  }
}

void Multiplexer::hook(TimerPoolPlugin* plugin) {
  plugins_.push_back(plugin);
}

void Multiplexer::unhook(TimerPoolPlugin* plugin) {
  if (notify_ != nullptr) {
    notify_->remove_plugin(plugin);
    return;
  }
  plugins_.remove(plugin);
}

int Multiplexer::timerPoll_schedule() {
  // A plug-in may unhook itself or another one while it is asked.
  class WorkingNotify : public TimerPollNotify {
   public:
    WorkingNotify(std::list<TimerPoolPlugin*>& working, std::list<TimerPoolPlugin*>& plugins)
        : working_(working), plugins_(plugins) {}
    void remove_plugin(TimerPoolPlugin* plugin) override {
      working_.remove(plugin);
      plugins_.remove(plugin);
    }

   private:
    std::list<TimerPoolPlugin*>& working_;
    std::list<TimerPoolPlugin*>& plugins_;
  };

  std::list<TimerPoolPlugin*> working;
  working.swap(plugins_);
  WorkingNotify notify(working, plugins_);
  notify_ = &notify;
  int result = kNoPluginLimit;
  while (!working.empty()) {
    TimerPoolPlugin* plugin = working.front();
    working.pop_front();
    plugins_.push_back(plugin);
    int wanted = plugin->timeout();
    if (wanted >= 0 && wanted < result) {
      result = wanted;
    }
  }
  notify_ = nullptr;
  return result;
}

void Multiplexer::dump(std::ostream& os) const {
  os << "dpc transition measurement (min/max/cur/counter): ";
  dpc_measure_.put(os);
  os << std::endl << "event transition measurement (min/max/cur/counter): ";
  event_measure_.put(os);
  os << std::endl << "timer transition measurement (min/max/cur/counter): ";
  timer_measure_.put(os);
  os << std::endl;
  Profile::dump(os);

  ext::Table table(40, 30, 10, 10, 5, 60);
  ext::Table::Sentry sentry(os, table);
  sentry << ext::delimeter << ext::beginrow << "name" << ext::nextrow << "events" << ext::nextrow << "count"
         << ext::nextrow << "handler" << ext::nextrow << "fd" << ext::nextrow << "measure" << ext::nextrow
         << ext::delimeter;
  for (const EventHandler& handler : active_) {
    const auto* event = handler.is_named() ? dynamic_cast<const Event*>(&handler) : nullptr;
    if (event == nullptr) {
      continue;
    }
    sentry << ext::beginrow << event->event_name() << ext::nextrow << PollEventAsText(event->GetEvents())
           << ext::nextrow << event->GetCounter() << ext::nextrow << (event->IsBound() ? "attached" : "unattached")
           << ext::nextrow << event->GetFd().get() << ext::nextrow << event->GetMeasure() << ext::nextrow;
  }
  sentry << ext::delimeter;
  os << std::endl;
}

void TimerPoolPlugin::timerHook() {
  if (!hooked_) {
    multiplexer.hook(this);
  }
  hooked_ = true;
}

void TimerPoolPlugin::timerUnhook() {
  if (hooked_) {
    multiplexer.unhook(this);
  }
  hooked_ = false;
}
