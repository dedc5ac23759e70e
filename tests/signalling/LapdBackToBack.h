#pragma once

#include "tests/signalling/LapdFixture.h"

#include <algorithm>

namespace lapd_test {

// A user side and the network side of a PRI link joined by an in-memory cable.
class BackToBack {
 public:
  BackToBack() { test_support::HdlcEnd::Join(user.end, network.end); }

  // Moves the clock and runs the loop until the cable is quiet.
  void Step(uint64_t ms) {
    clock.Advance(ms);
    control_test::RunUntil([this] { return user.end.InFlight() == 0 && network.end.InFlight() == 0; }, 50);
  }
  bool BothUp() const {
    return user.link->full_state().state == LAPD::kMultipleFrameEstablished &&
           network.link->full_state().state == LAPD::kMultipleFrameEstablished;
  }
  // Steps until the condition holds, at most the given loop-clock time.
  template <class Done>
  bool StepUntil(Done done, uint64_t limit_ms) {
    for (uint64_t ms = 0; ms < limit_ms && !done(); ms += 10) {
      Step(10);
    }
    return done();
  }
  // Sends count numbered messages each way (SETUP one way, CONNECT the other),
  // keeping the out queues below their limit, until all have arrived.
  bool Exchange(unsigned count, uint64_t limit_ms) {
    unsigned to_network = 0;
    unsigned to_user = 0;
    return StepUntil(
        [&] {
          for (; to_network < count && user.link->out_count() < 64; ++to_network) {
            user.Send(Q931(0x05, to_network));
          }
          for (; to_user < count && network.link->out_count() < 64; ++to_user) {
            network.Send(Q931(0x07, to_user));
          }
          return network.owner.messages.size() >= count && user.owner.messages.size() >= count;
        },
        limit_ms);
  }

  control_test::FrozenClock clock;
  control_test::Logs logs;
  Side user{ISDN::Side::user};
  Side network{ISDN::Side::network};
};

}  // namespace lapd_test
