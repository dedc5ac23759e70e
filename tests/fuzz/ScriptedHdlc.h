#pragma once

#include "hardware/GenericHDLC.h"
#include "runtime/protocol/Packet.h"

// The HDLC channel under a fuzzed link: open, and on the next write it may be
// told to push back (not ready until on_hdlc_ready) or to fail once.
class ScriptedHdlc : public GenericHDLC {
 public:
  bool hdlc_transmit(Packet&) override {
    if (push_back) {
      push_back = false;
      ready = false;
      return false;
    }
    if (fail) {
      fail = false;
      return false;
    }
    return true;
  }
  bool is_open() const override { return true; }
  bool is_ready() const override { return ready; }

  bool ready = true;
  bool push_back = false;
  bool fail = false;
};
