#include "runtime/loop/Multiplexer.h"

#include "platform/Clock.h"
#include "runtime/loop/Dpc.h"
#include "runtime/loop/Event.h"
#include "tests/support/ControlLoop.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using control_test::Joined;
using control_test::Logs;
using control_test::PassHook;
using control_test::SocketPair;

// An Event that records each serving in a shared log and runs an optional hook.
class Probe {
 public:
  Probe(const char* name, std::vector<std::string>& log) : name_(name), log_(log) {
    event_.Bind(name, &Probe::OnEvent, this);
  }
  void Watch(short events = POLLIN) { event_.Schedule(endpoint_.local, events); }
  void MakeReadable() { EXPECT_EQ(write(endpoint_.peer.get(), "x", 1), 1); }
  void OnEvent(int, short revents) {
    log_.push_back(name_);
    last_revents_ = revents;
    if (hook_) {
      hook_();
    }
  }

  SocketPair endpoint_;
  Event event_;
  std::function<void()> hook_;
  short last_revents_ = -1;

 private:
  std::string name_;
  std::vector<std::string>& log_;
};

TEST(Multiplexer, EveryHandlerIsServedOnEveryPollReturn) {
  std::vector<std::string> log;
  Probe ready("ready", log), idle("idle", log), last("last", log);
  for (Probe* p : {&ready, &idle, &last}) {
    p->Watch();
  }
  ready.MakeReadable();
  last.hook_ = [] { multiplexer.terminate(); };
  multiplexer.run(false, true);

  EXPECT_EQ(Joined(log), "ready idle last ");
  EXPECT_EQ(ready.last_revents_, POLLIN);
  EXPECT_EQ(idle.last_revents_, 0);
  EXPECT_EQ(ready.event_.GetCounter(), 1u);
  EXPECT_EQ(idle.event_.GetCounter(), 0u);
}

TEST(Multiplexer, TimerAttachJoinsThisPassHandlerAttachWaitsForNext) {
  std::vector<std::string> log;
  Probe a("A", log), b("B", log), c("C", log);
  for (Probe* p : {&a, &b, &c}) {
    p->MakeReadable();
  }
  a.Watch();
  struct Attacher {
    void OnTimer() { probe->Watch(); }
    Probe* probe;
  } attach_b{&b};
  Timer timer;
  timer.set(0, &Attacher::OnTimer, &attach_b);
  a.hook_ = [&c] {
    if (!c.event_.attached()) {
      c.Watch();
    }
  };
  c.hook_ = [] { multiplexer.terminate(); };
  multiplexer.run(false, true);
  EXPECT_EQ(Joined(log), "A B A B C ");
}

TEST(MultiplexerDeathTest, NothingToWaitForIsAHang) {
  EXPECT_DEATH(multiplexer.run(false, true), "multiplexer: system hang detected!!!");
}

TEST(Multiplexer, ResultsStayWithTheirHandlerWhenADeferredCallDetaches) {
  std::vector<std::string> log;
  Probe hung("hung", log), healthy("healthy", log);
  hung.Watch();
  healthy.Watch();
  hung.endpoint_.peer.close();  // its entry reports POLLHUP
  healthy.MakeReadable();
  // The second run of the first pass comes after the poll vector is built.
  PassHook hook([&hung](int run) {
    if (run == 2) {
      hung.event_.Release();
    }
  });
  healthy.hook_ = [] { multiplexer.terminate(); };
  multiplexer.run(false, true);
  EXPECT_EQ(Joined(log), "healthy ");
  EXPECT_EQ(healthy.last_revents_, POLLIN);
}

TEST(Multiplexer, HandlersDetachedOrRescheduledWhileServingKeepTheirOwnResults) {
  std::vector<std::string> log;
  Probe a("A", log), b("B", log), c("C", log), d("D", log);
  for (Probe* p : {&a, &b, &c, &d}) {
    p->Watch();
  }
  for (Probe* p : {&a, &b, &d}) {
    p->MakeReadable();
  }
  int a_serves = 0;
  a.hook_ = [&] {
    if (++a_serves == 1) {
      b.event_.Release();  // the next one in line
      a.Watch(POLLOUT);    // to the end, waiting for room now
    } else {
      multiplexer.terminate();
    }
  };
  multiplexer.run(false, true);
  EXPECT_EQ(Joined(log), "A C D C D A ");
  EXPECT_EQ(a.last_revents_, POLLOUT);
  EXPECT_EQ(c.last_revents_, 0);
  EXPECT_EQ(d.last_revents_, POLLIN);
  EXPECT_EQ(b.last_revents_, -1);
}

TEST(Multiplexer, HandlersLeftByTerminateAreServedInOrderByTheNextRun) {
  std::vector<std::string> log;
  Probe a("A", log), b("B", log), c("C", log);
  for (Probe* p : {&a, &b, &c}) {
    p->Watch();
    p->MakeReadable();
  }
  a.hook_ = [] { multiplexer.terminate(); };
  multiplexer.run(false, true);
  a.hook_ = nullptr;
  c.hook_ = [] { multiplexer.terminate(); };
  multiplexer.run(false, true);
  EXPECT_EQ(Joined(log), "A A B C ");
}

TEST(Multiplexer, TimerSetBySecondDeferredRunLimitsTheWait) {
  // No descriptor at all: only the timer keeps the loop from a hang.
  platform::clock_control::Freeze(timeval{500, 0});
  Timer timer;
  struct Stopper {
    void OnTimer() { multiplexer.terminate(); }
  } stopper;
  PassHook hook([&](int run) {
    if (run == 2) {
      timer.set(0, &Stopper::OnTimer, &stopper);
    }
  });
  multiplexer.run(false, true);
  EXPECT_EQ(timer.get(), nullptr);
  EXPECT_EQ(hook.runs(), 4);
  platform::clock_control::Release();
}

TEST(Multiplexer, TerminateRequestedBeforeRunStopsAfterFirstPass) {
  std::vector<std::string> log;
  Probe never("never", log);
  never.Watch();
  PassHook hook;
  multiplexer.terminate();
  multiplexer.run(false, true);
  EXPECT_EQ(hook.runs(), 2);
  EXPECT_TRUE(log.empty());
}

class AskedPlugin : public TimerPoolPlugin {
 public:
  explicit AskedPlugin(int answer) : answer_(answer) {}
  int timeout() override {
    ++asked_;
    if (unhook_) {
      unhook_->timerUnhook();
    }
    return answer_;
  }
  int answer_;
  int asked_ = 0;
  TimerPoolPlugin* unhook_ = nullptr;
};

TEST(Multiplexer, PluginsLimitTheWaitAndMayUnhookWhileAsked) {
  EXPECT_EQ(multiplexer.timerPoll_schedule(), 0x7fffffff);
  AskedPlugin slow(30), none(-1), fast(10);
  for (AskedPlugin* p : {&slow, &none, &fast}) {
    p->timerHook();
  }
  slow.timerHook();
  EXPECT_EQ(multiplexer.timerPoll_schedule(), 10);
  EXPECT_EQ(slow.asked_, 1);

  // "none" removes "fast" before it is asked, then itself on the next round.
  none.unhook_ = &fast;
  EXPECT_EQ(multiplexer.timerPoll_schedule(), 30);
  EXPECT_EQ(fast.asked_, 1);
  none.unhook_ = &none;
  EXPECT_EQ(multiplexer.timerPoll_schedule(), 30);
  EXPECT_EQ(multiplexer.timerPoll_schedule(), 30);
  EXPECT_EQ(none.asked_, 3);
}

}  // namespace
