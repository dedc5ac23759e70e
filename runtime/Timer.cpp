#include "runtime/Timer.h"

#include "runtime/Multiplexer.h"
#include "runtime/Mux.h"

TimerEvent::~TimerEvent() {
  reset();
}

void TimerEvent::schedule(unsigned ms) {
  deadline = Mux::milliseconds() + ms;
  multiplexer.set(this);
}

void TimerEvent::reset() {
  multiplexer.reset(this);
}
