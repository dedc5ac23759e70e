// Cost of the event loop's hot paths: timers with 10,000 pending, and one loop
// pass over 1,000 registered descriptors.
#include "bench/BenchmarkMain.h"
#include "platform/Clock.h"
#include "runtime/loop/Event.h"
#include "runtime/loop/Multiplexer.h"
#include "runtime/loop/Timer.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <iostream>
#include <memory>
#include <vector>

namespace {

constexpr int kPendingTimers = 10000;
constexpr int kDescriptors = 1000;

struct Target {
  void OnTimer() { ++fired; }
  void OnEvent(int, short) { ++served; }
  void OnLastEvent(int, short) {
    ++served;
    multiplexer.terminate();
  }
  long fired = 0;
  long served = 0;
};

// 10,000 timers pending from 1 s to 10 s ahead on a frozen clock.
class PendingTimers {
 public:
  PendingTimers() : timers_(kPendingTimers) {
    platform::clock_control::Freeze(timeval{1000, 0});
    for (int i = 0; i < kPendingTimers; ++i) {
      timers_[static_cast<size_t>(i)].set(1000u + static_cast<unsigned>(i), &Target::OnTimer, &target_);
    }
  }
  ~PendingTimers() { platform::clock_control::Release(); }
  Timer& At(int i) { return timers_[static_cast<size_t>(i % kPendingTimers)]; }
  Target& target() { return target_; }

 private:
  Target target_;
  std::vector<Timer> timers_;
};

// A new timer due after every pending one: the common case, one comparison.
void BM_TimerSetLatest(benchmark::State& state) {
  PendingTimers pending;
  Timer timer;
  for (auto _ : state) {
    timer.set(20000, &Target::OnTimer, &pending.target());
  }
}
BENCHMARK(BM_TimerSetLatest);

// A timer set in the middle of the pending ones: walks half the list.
void BM_TimerSetMiddle(benchmark::State& state) {
  PendingTimers pending;
  Timer timer;
  for (auto _ : state) {
    timer.set(1000 + kPendingTimers / 2, &Target::OnTimer, &pending.target());
  }
}
BENCHMARK(BM_TimerSetMiddle);

// Replacing a pending timer: cancel the old event, insert the new one last.
void BM_TimerReplacePending(benchmark::State& state) {
  PendingTimers pending;
  int i = 0;
  for (auto _ : state) {
    pending.At(i++).set(20000, &Target::OnTimer, &pending.target());
  }
}
BENCHMARK(BM_TimerReplacePending);

// Firing one due timer while 10,000 others stay pending.
void BM_TimerFireOneOfMany(benchmark::State& state) {
  PendingTimers pending;
  Timer due;
  for (auto _ : state) {
    due.set(0, &Target::OnTimer, &pending.target());
    multiplexer.timers_schedule();
  }
  state.counters["fired"] = static_cast<double>(pending.target().fired);
}
BENCHMARK(BM_TimerFireOneOfMany);

// One full pass (timers, deferred calls, poll, serving) over 1,000 Events that
// are all writable, so poll returns at once and every handler is served.
void BM_LoopPass1000Descriptors(benchmark::State& state) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    state.SkipWithError("pipe failed");
    return;
  }
  Fd reader(fds[0]);
  Fd writer(fds[1]);
  Target target;
  std::vector<std::unique_ptr<Event>> events;
  for (int i = 0; i < kDescriptors; ++i) {
    events.push_back(std::make_unique<Event>());
    bool last = i + 1 == kDescriptors;
    events.back()->Bind("bench", last ? &Target::OnLastEvent : &Target::OnEvent, &target);
    events.back()->Schedule(writer, POLLOUT);
  }
  // The loop's closing line would drown the report.
  std::streambuf* log = std::clog.rdbuf(nullptr);
  for (auto _ : state) {
    multiplexer.run(false, true);
  }
  std::clog.rdbuf(log);
  std::clog.clear();
  state.counters["served/pass"] =
      benchmark::Counter(static_cast<double>(target.served), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_LoopPass1000Descriptors);

}  // namespace

GW_BENCHMARK_MAIN()
