#pragma once

#include "runtime/protocol/Packet.h"
#include "signalling/SLC.h"
#include "tests/support/ControlLoop.h"
#include "tests/support/HdlcEnd.h"
#include "tests/support/LinkOwner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace slc_test {

using Bytes = std::vector<uint8_t>;
using State = SS7::SLC::State;

// A signal unit as the wire carries it.
struct Unit {
  unsigned bsn;
  unsigned bib;
  unsigned fsn;
  unsigned fib;
  unsigned li;
  Bytes rest;
};

inline Bytes Encode(const Unit& u) {
  Bytes bytes(3 + u.rest.size());
  bytes[0] = static_cast<uint8_t>(u.bib << 7 | u.bsn);
  bytes[1] = static_cast<uint8_t>(u.fib << 7 | u.fsn);
  bytes[2] = static_cast<uint8_t>(u.li);
  std::copy(u.rest.begin(), u.rest.end(), bytes.begin() + 3);
  return bytes;
}

inline Unit Decode(const Bytes& b) {
  return Unit{b[0] & 0x7Fu, unsigned{b[0]} >> 7,          b[1] & 0x7Fu, unsigned{b[1]} >> 7,
              b[2],         Bytes(b.begin() + 3, b.end())};
}

inline Bytes Lssu(uint8_t status) {
  return {0xFF, 0xFF, 1, status};
}

inline Bytes Fisu(unsigned bsn, unsigned bib, unsigned fsn, unsigned fib) {
  return Encode({bsn, bib, fsn, fib, 0, {}});
}

inline Bytes Msu(unsigned bsn, unsigned bib, unsigned fsn, unsigned fib, const Bytes& payload) {
  return Encode({bsn, bib, fsn, fib, static_cast<unsigned>(payload.size() < 63 ? payload.size() : 63), payload});
}

using test_support::PacketOf;

// One link under test on an in-memory channel, its owner recording, the loop
// clock frozen and the log streams captured.
class LinkFixture {
 public:
  LinkFixture() : slc(new SS7::SLC), owner(slc) {
    slc->hdlc = &end;
    end.notify = slc;
  }

  // Advances the clock and lets due timers fire.
  void Advance(uint64_t ms) {
    clock.Advance(ms);
    control_test::RunPasses(2);
  }
  // The frames sent since the last call.
  std::vector<Bytes> TakeSent() { return end.TakeSent(); }
  void Send(const Bytes& payload) {
    Packet packet = PacketOf(payload);
    slc->message(packet);
  }
  // Brings the link from idle to the state, through the peer's LSSUs and FISUs.
  void DriveTo(State state) {
    if (state == State::idle) {
      return;
    }
    slc->local_activate();
    if (state == State::aligned) {
      end.Inject(Lssu(SS7::SLC::SIO));
    } else if (state != State::not_aligned) {
      end.Inject(Lssu(SS7::SLC::SIN));
    }
    if (state == State::aligned_ready) {
      Advance(8200);
    } else if (state == State::worked) {
      end.Inject(Fisu(127, 1, 127, 1));
    }
    ASSERT_EQ(slc->get_state_id(), state);
    TakeSent();
    owner.TakeEvents();
  }

  control_test::FrozenClock clock;
  control_test::Logs logs;
  test_support::HdlcEnd end;
  SS7::SLC* slc;  // owned by owner
  test_support::LinkOwner owner;
};

}  // namespace slc_test

namespace slc_test {

// Two links joined by an in-memory line, each filling the line with its last
// unit as an SS7 channel does.
class BackToBack {
 public:
  struct Side {
    Side() : slc(new SS7::SLC), owner(slc) {
      slc->hdlc = &end;
      end.notify = slc;
      end.repeat_ms = 10;
    }
    test_support::HdlcEnd end;
    SS7::SLC* slc;  // owned by owner
    test_support::LinkOwner owner;
  };

  BackToBack() { test_support::HdlcEnd::Join(a.end, b.end); }

  // Moves the clock and runs the loop until the line is quiet.
  void Step(uint64_t ms) {
    clock.Advance(ms);
    control_test::RunUntil([this] { return a.end.InFlight() == 0 && b.end.InFlight() == 0; }, 50);
  }
  // Steps until both links are in service, at most a minute of loop clock.
  bool Align() {
    a.slc->local_activate();
    b.slc->local_activate();
    for (int ms = 0; ms < 60000 && !BothWorked(); ms += 10) {
      Step(10);
    }
    return BothWorked();
  }
  bool BothWorked() const { return a.slc->get_state_id() == State::worked && b.slc->get_state_id() == State::worked; }

  control_test::FrozenClock clock;
  control_test::Logs logs;
  Side a;
  Side b;
};

}  // namespace slc_test
