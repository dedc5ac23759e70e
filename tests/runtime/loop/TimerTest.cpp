#include "runtime/loop/Timer.h"

#include "platform/Clock.h"
#include "runtime/clock/Mux.h"
#include "runtime/loop/Dpc.h"
#include "runtime/loop/Multiplexer.h"
#include "tests/support/ControlLoop.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

// 2^32 ms after the epoch, the millisecond clock wraps to 0.
constexpr uint64_t kWrapMs = 4294967296ULL;

using control_test::FreezeAtMs;

class Timers : public ::testing::Test {
 protected:
  void TearDown() override { platform::clock_control::Release(); }

  // A timer owner that logs its name when it fires.
  struct Owner {
    void OnTimer() { log->push_back(name); }
    void OnTimerWithSelf(Timer* timer) {
      log->push_back(name);
      if (rearms > 0) {
        --rearms;
        timer->set(rearm_ms, &Owner::OnTimerWithSelf, this);
      }
    }
    std::string name;
    std::vector<std::string>* log;
    Timer timer;
    unsigned rearm_ms = 0;
    int rearms = 0;
  };

  Owner& Add(const std::string& name) {
    owners_.push_back(std::make_unique<Owner>());
    owners_.back()->name = name;
    owners_.back()->log = &log_;
    return *owners_.back();
  }

  std::string Fired() {
    const std::string text = control_test::Joined(log_);
    log_.clear();
    return text;
  }

  std::vector<std::string> log_;
  std::vector<std::unique_ptr<Owner>> owners_;
};

TEST_F(Timers, FireInDeadlineOrderAcrossTheWrapAndInSetOrderWhenEqual) {
  const struct {
    const char* name;
    uint64_t start_ms;  // frozen clock when the timers are set
    std::vector<std::pair<const char*, unsigned>> timers;
    uint64_t advance_ms;
    const char* fired;
  } kCases[] = {
      {"equal deadlines keep set order", 1000, {{"a", 50}, {"b", 50}, {"c", 10}, {"d", 50}}, 50, "c a b d "},
      {"deadline past the wrap comes last",
       kWrapMs - 5,
       {{"after", 10}, {"before", 3}, {"first", 1}},
       20,
       "first before after "},
      {"only due timers fire", kWrapMs - 5, {{"after", 10}, {"before", 3}}, 4, "before "},
      {"exactly due fires", 7, {{"now", 0}, {"later", 1}}, 0, "now "},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    FreezeAtMs(c.start_ms);
    for (const auto& [name, ms] : c.timers) {
      Owner& owner = Add(name);
      owner.timer.set(ms, &Owner::OnTimer, &owner);
    }
    platform::clock_control::Advance(c.advance_ms);
    multiplexer.timers_schedule();
    EXPECT_EQ(Fired(), c.fired);
    owners_.clear();
  }
}

TEST_F(Timers, SettingAgainReplacesAndDestroyingCancels) {
  FreezeAtMs(1000);
  Owner& replaced = Add("replaced");
  Owner& destroyed = Add("destroyed");
  replaced.timer.set(10, &Owner::OnTimer, &replaced);
  replaced.timer.set(30, &Owner::OnTimer, &replaced);
  destroyed.timer.set(5, &Owner::OnTimer, &destroyed);
  owners_.pop_back();
  platform::clock_control::Advance(20);
  multiplexer.timers_schedule();
  EXPECT_EQ(Fired(), "");
  platform::clock_control::Advance(10);
  EXPECT_EQ(multiplexer.timers_schedule(), 0u);
  EXPECT_EQ(Fired(), "replaced ");
  EXPECT_EQ(replaced.timer.get(), nullptr);

  replaced.timer.set(10, &Owner::OnTimer, &replaced);
  replaced.timer.reset();
  platform::clock_control::Advance(10);
  multiplexer.timers_schedule();
  EXPECT_EQ(Fired(), "");
}

TEST_F(Timers, CallbackMayRearmItsOwnTimer) {
  FreezeAtMs(1000);
  Owner& owner = Add("tick");
  owner.rearm_ms = 100;
  owner.rearms = 1;
  owner.timer.set(100, &Owner::OnTimerWithSelf, &owner);
  platform::clock_control::Advance(100);
  EXPECT_EQ(multiplexer.timers_schedule(), 100u);
  EXPECT_EQ(Fired(), "tick ");
  EXPECT_NE(owner.timer.get(), nullptr);

  // Re-armed for 0 ms while the clock still reads the pass's start: due at
  // once, so it fires again within the same pass.
  owner.rearm_ms = 0;
  owner.rearms = 2;
  platform::clock_control::Advance(100);
  EXPECT_EQ(multiplexer.timers_schedule(), 0u);
  EXPECT_EQ(Fired(), "tick tick tick ");
  EXPECT_EQ(owner.timer.get(), nullptr);
}

// A timer set for more than two hours is kept as set. A deadline further
// ahead than its timer was set for (the clock moved back) is logged, and every
// pending timer falls due a second later, in the same order.
TEST_F(Timers, WaitBeyondTwoHoursIsRepairedOnlyWhenTheClockMovedBack) {
  FreezeAtMs(5000);
  Owner& far = Add("far");
  Owner& near = Add("near");
  far.timer.set(10000000u, &Owner::OnTimer, &far);
  near.timer.set(10000001u, &Owner::OnTimer, &near);
  control_test::Logs logs;
  EXPECT_EQ(multiplexer.timers_schedule(), 10000000u);
  platform::clock_control::Advance(9999999);
  EXPECT_EQ(multiplexer.timers_schedule(), 1u);
  EXPECT_EQ(Fired(), "");
  EXPECT_EQ(logs.Err(), "");

  FreezeAtMs(20000000);
  far.timer.set(1000u, &Owner::OnTimer, &far);
  near.timer.set(1001u, &Owner::OnTimer, &near);
  FreezeAtMs(5000);
  EXPECT_EQ(multiplexer.timers_schedule(), 1000u);
  EXPECT_EQ(logs.Err(),
            "******** RUNTIME ERROR CONDITION *************Multiplexer::timers_schedule() invalid wait time "
            "detected!\nnow = 5000\nfirst = 20001000\ncount = 2\n");
  platform::clock_control::Advance(999);
  EXPECT_EQ(multiplexer.timers_schedule(), 1u);
  platform::clock_control::Advance(1);
  multiplexer.timers_schedule();
  EXPECT_EQ(Fired(), "far near ");
}

// A clock stepped back by an hour leaves the waits as they were, relative to
// the soonest, which falls due within its period: nothing stalls for the hour.
TEST_F(Timers, ClockSteppedBackLessThanTwoHoursKeepsTheWaits) {
  FreezeAtMs(10000000);
  Owner& keep = Add("keep");
  Owner& late = Add("late");
  keep.timer.set(500u, &Owner::OnTimer, &keep);
  late.timer.set(8000u, &Owner::OnTimer, &late);
  FreezeAtMs(10000000 - 3600000);
  control_test::Logs logs;
  EXPECT_EQ(multiplexer.timers_schedule(), 500u);
  platform::clock_control::Advance(500);
  EXPECT_EQ(multiplexer.timers_schedule(), 7500u);
  EXPECT_EQ(Fired(), "keep ");
  platform::clock_control::Advance(7500);
  multiplexer.timers_schedule();
  EXPECT_EQ(Fired(), "late ");
  EXPECT_EQ(logs.Err(), "");
}

// 2^31 ms or more ahead cannot be told from behind on the wrapping clock: such
// a timer is logged and falls due a second later instead of at once; the
// timers beside it keep their deadlines.
TEST_F(Timers, WaitBeyondTheClocksHalfRangeIsRepairedWhenSet) {
  FreezeAtMs(5000);
  Owner& near = Add("near");
  Owner& far = Add("far");
  near.timer.set(1500u, &Owner::OnTimer, &near);
  control_test::Logs logs;
  far.timer.set(3000000000u, &Owner::OnTimer, &far);
  EXPECT_EQ(logs.Err(),
            "******** RUNTIME ERROR CONDITION *************Multiplexer::timers_schedule() invalid wait time "
            "detected!\nnow = 5000\nfirst = 3000005000\ncount = 2\n");
  EXPECT_EQ(multiplexer.timers_schedule(), 1000u);
  EXPECT_EQ(Fired(), "");
  platform::clock_control::Advance(1000);
  EXPECT_EQ(multiplexer.timers_schedule(), 500u);
  EXPECT_EQ(Fired(), "far ");
  platform::clock_control::Advance(500);
  multiplexer.timers_schedule();
  EXPECT_EQ(Fired(), "near ");
}

// An event scheduled again while pending, after the clock stepped back: its new
// deadline counts from the new reading and is not moved back with the others.
TEST_F(Timers, PendingEventScheduledAgainAfterABackwardStepKeepsItsNewWait) {
  struct Event : TimerEvent {
    void fire() override { log->push_back("again"); }
    std::vector<std::string>* log;
  } event;
  event.log = &log_;
  FreezeAtMs(10000000);
  event.schedule(500);
  FreezeAtMs(10000000 - 3600000);
  event.schedule(500);
  EXPECT_EQ(multiplexer.timers_schedule(), 500u);
  EXPECT_EQ(Fired(), "");
  platform::clock_control::Advance(500);
  multiplexer.timers_schedule();
  EXPECT_EQ(Fired(), "again ");
}

// A periodic check whose callback takes time on the loop clock before it
// re-arms: its next deadline counts from the re-arm, and nothing else moves.
TEST_F(Timers, CallbackTimeNeitherShortensPeriodsNorPullsOtherTimersEarlier) {
  struct Busy {
    void OnTimer(Timer* timer) {
      log->push_back(name + "@" + std::to_string(Mux::milliseconds() - start));
      platform::clock_control::Advance(busy_ms);
      if (period_ms > 0) {
        timer->set(period_ms, &Busy::OnTimer, this);
      }
    }
    std::string name;
    std::vector<std::string>* log;
    uint32_t start;
    unsigned period_ms;
    unsigned busy_ms;
    Timer timer;
  };
  const struct {
    const char* name;
    unsigned period_ms;
    unsigned busy_ms;
    const char* fired;
  } kCases[] = {
      {"3000 ms taking 3 ms", 3000, 3, "tick@3000 tick@6003 tick@9006 long@10000 "},
      {"1000 ms taking 20 ms", 1000, 20,
       "tick@1000 tick@2020 tick@3040 tick@4060 tick@5080 tick@6100 tick@7120 tick@8140 tick@9160 long@10000 "},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    FreezeAtMs(1000000);
    control_test::Logs logs;
    const uint32_t start = Mux::milliseconds();
    Busy tick{"tick", &log_, start, c.period_ms, c.busy_ms, {}};
    Busy long_one{"long", &log_, start, 0, 0, {}};
    tick.timer.set(c.period_ms, &Busy::OnTimer, &tick);
    long_one.timer.set(10000, &Busy::OnTimer, &long_one);
    // The loop's passes, the clock jumping to each deadline, up to 10000 ms.
    for (uint32_t wait = multiplexer.timers_schedule(); wait > 0 && Mux::milliseconds() - start + wait <= 10000;
         wait = multiplexer.timers_schedule()) {
      platform::clock_control::Advance(wait);
    }
    EXPECT_EQ(Fired(), c.fired);
    EXPECT_EQ(logs.Err(), "");
  }
}

// The clock steps back an hour while a callback runs: the timer it sets counts
// from the new reading, and the pending one keeps its wait instead of firing in
// the same pass.
TEST_F(Timers, ClockSteppedBackInsideACallbackFiresNothingEarly) {
  struct StepBack {
    void OnTimer() {
      log->push_back("step");
      FreezeAtMs(10000000 - 3600000 + 100);
      timer.set(100, &StepBack::OnTimer, this);
    }
    std::vector<std::string>* log;
    Timer timer;
  } step{&log_, {}};
  FreezeAtMs(10000000);
  Owner& later = Add("later");
  step.timer.set(100, &StepBack::OnTimer, &step);
  later.timer.set(150, &Owner::OnTimer, &later);
  platform::clock_control::Advance(100);
  EXPECT_EQ(multiplexer.timers_schedule(), 50u);
  EXPECT_EQ(Fired(), "step ");
  platform::clock_control::Advance(50);
  EXPECT_EQ(multiplexer.timers_schedule(), 50u);
  EXPECT_EQ(Fired(), "later ");
  step.timer.reset();
}

// Counts runs; may act on another Dpc from inside the run.
struct Step {
  void Run() {
    log->push_back(name);
    if (deactivate != nullptr) {
      deactivate->Deactivate();
    }
    if (activate != nullptr) {
      activate->Activate();
    }
  }
  std::string name;
  std::vector<std::string>* log;
  Dpc* deactivate = nullptr;
  Dpc* activate = nullptr;
};

TEST(Dpcs, RunOncePerRunInAddressOrderAndHonourChangesMadeDuringARun) {
  std::vector<std::string> log;
  Dpc dpcs[3];
  Step steps[3] = {{"low", &log}, {"mid", &log}, {"high", &log}};
  for (int i = 0; i < 3; ++i) {
    dpcs[i].Bind(&steps[i], &Step::Run);
  }
  dpcs[2].Activate();
  dpcs[0].Activate();
  dpcs[0].Activate();
  dpcs[1].Activate();
  multiplexer.execute_dpc();
  EXPECT_EQ(log, (std::vector<std::string>{"low", "mid", "high"}));

  // low deactivates mid before its turn; low activates high, which therefore
  // waits for the next run.
  dpcs[2].Deactivate();
  steps[0].deactivate = &dpcs[1];
  steps[0].activate = &dpcs[2];
  log.clear();
  multiplexer.execute_dpc();
  EXPECT_EQ(log, (std::vector<std::string>{"low"}));
  log.clear();
  steps[0].activate = nullptr;
  multiplexer.execute_dpc();
  EXPECT_EQ(log, (std::vector<std::string>{"low", "high"}));
}

TEST(Dpcs, DpcDestroyedDuringARunDoesNotRun) {
  std::vector<std::string> log;
  // Array order is address order, so the killer runs first.
  std::optional<Dpc> dpcs[2];
  dpcs[0].emplace();
  dpcs[1].emplace();
  struct Killer {
    void Run() { victim->reset(); }
    std::optional<Dpc>* victim;
  } killer{&dpcs[1]};
  Step doomed{"doomed", &log};
  dpcs[0]->Bind(&killer, &Killer::Run);
  dpcs[1]->Bind(&doomed, &Step::Run);
  dpcs[1]->Activate();
  dpcs[0]->Activate();
  multiplexer.execute_dpc();
  multiplexer.execute_dpc();
  EXPECT_TRUE(log.empty());
}

}  // namespace
