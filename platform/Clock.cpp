#include "platform/Clock.h"

#include <time.h>

#include <atomic>
#include <cerrno>
#include <mutex>

namespace platform {
namespace {

// The simulated board's control socket may move the clock from its own thread,
// so the state is guarded; the loop only reads it.
struct ClockState {
  std::mutex mutex;
  bool frozen = false;
  timeval frozen_at{};
  int64_t offset_us = 0;
};

ClockState& State() {
  static ClockState state;
  return state;
}

std::atomic<bool>& SleepsSkipped() {
  static std::atomic<bool> skipped{false};
  return skipped;
}

void AddMicroseconds(timeval* tv, int64_t us) {
  int64_t total = static_cast<int64_t>(tv->tv_sec) * 1000000 + tv->tv_usec + us;
  tv->tv_sec = static_cast<time_t>(total / 1000000);
  tv->tv_usec = static_cast<suseconds_t>(total % 1000000);
}

}  // namespace

void GetTimeOfDay(timeval* tv) {
#ifdef GATEWAY_BOARD
  gettimeofday(tv, nullptr);
#else
  ClockState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  if (state.frozen) {
    *tv = state.frozen_at;
    return;
  }
  gettimeofday(tv, nullptr);
  AddMicroseconds(tv, state.offset_us);
#endif
}

void SleepMicroseconds(uint32_t us) {
  if (SleepsSkipped().load()) {
    return;
  }
  timespec rest{static_cast<time_t>(us / 1000000), static_cast<long>(us % 1000000) * 1000};
  while (nanosleep(&rest, &rest) != 0 && errno == EINTR) {
  }
}

namespace clock_control {

void Freeze(const timeval& tv) {
  ClockState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.frozen = true;
  state.frozen_at = tv;
}

void Advance(uint64_t ms) {
  ClockState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  if (state.frozen) {
    AddMicroseconds(&state.frozen_at, static_cast<int64_t>(ms) * 1000);
    return;
  }
  state.offset_us += static_cast<int64_t>(ms) * 1000;
}

void StepBack(uint64_t ms) {
  ClockState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  if (state.frozen) {
    AddMicroseconds(&state.frozen_at, -static_cast<int64_t>(ms) * 1000);
    return;
  }
  state.offset_us -= static_cast<int64_t>(ms) * 1000;
}

void Release() {
  ClockState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.frozen = false;
  state.offset_us = 0;
}

void SkipSleeps(bool skip) {
  SleepsSkipped().store(skip);
}

}  // namespace clock_control
}  // namespace platform
