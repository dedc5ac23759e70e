#pragma once

#include <sys/time.h>

#include <cstdint>

namespace platform {

// The one source of wall-clock time for the loop clock. On the host build a test
// can freeze it and move it by hand (the 120 s heartbeat, the 2^32 ms wrap)
// without waiting.
void GetTimeOfDay(timeval* tv);

// Short device sleeps and the one-second teardown pause. Tests can skip them.
void SleepMicroseconds(uint32_t us);

// Test controls. They have no effect on the board build.
namespace clock_control {

// Freezes the clock at tv; later reads return it until moved or released.
void Freeze(const timeval& tv);
// Moves the clock forward. A frozen clock moves by exactly ms; a live one gains
// a standing offset, which is how a running server's clock is pushed forward.
void Advance(uint64_t ms);
// Moves the clock back by ms, as a clock set by hand or by NTP can step.
void StepBack(uint64_t ms);
// Back to the real time with no offset.
void Release();
// When true, SleepMicroseconds returns at once.
void SkipSleeps(bool skip);

}  // namespace clock_control

}  // namespace platform
