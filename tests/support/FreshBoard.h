#pragma once

// A fresh simulated board between the tests of one binary, for the singletons
// that hold board devices for the whole process.

#include "hardware/HwMux.h"
#include "platform/sim/Board.h"
#include "tests/support/ControlLoop.h"

#include <new>

namespace test_support {

// Resets the board, which hangs up every open, and runs the loop until the
// services still polling a device of the old board (the tone and DSP event
// services) have heard their hang-up: it is an earlier test's, not this one's.
inline void FreshBoard() {
  sim::Board::instance().Reset();
  control_test::Logs quiet;
  // One whole pass: the third deferred run is the second pass's first.
  control_test::RunPasses(3);
}

// Opens the switch singleton anew on the board as it is now. After a board
// reset it would go on with a dead descriptor (it polls nothing, so it never
// hears the hang-up), and every later connect of the binary would fail. It is
// rebuilt in place, as a server started on this board would have built it.
inline void ReopenSwitch() {
  HwMux& mux = HwMux::instance();
  mux.~HwMux();
  new (&mux) HwMux;
}

}  // namespace test_support
