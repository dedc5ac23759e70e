#include "runtime/loop/Timer.h"

#include "runtime/clock/Mux.h"
#include "runtime/loop/Multiplexer.h"

TimerEvent::~TimerEvent() {
  reset();
}

void TimerEvent::schedule(unsigned ms) {
  deadline = Mux::milliseconds() + ms;
  period = ms;
  multiplexer.set(this);
}

void TimerEvent::reset() {
  multiplexer.reset(this);
}
