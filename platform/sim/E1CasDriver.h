#pragma once

#include "platform/sim/Driver.h"

#include <array>
#include <cstdint>
#include <vector>

namespace sim {

// The simulated "/dev/e1-cas": channel-associated signalling on the four E1
// trunks. CAS is opened per trunk and configured per timeslot; a test injects
// the signalling bits a timeslot receives, which every open then reads as an
// event record, and sees the bits the server sends.
class E1CasDriver : public Driver {
 public:
  static constexpr const char* kPath = "/dev/e1-cas";
  static constexpr int kTrunks = 4;
  static constexpr int kTimeslots = 32;

  struct Channel {
    bool configured = false;
    uint8_t rx = 0;
    uint8_t tx = 0;
  };

  E1CasDriver();

  bool IsTrunkOpen(int trunk) const;
  Channel ChannelOf(int trunk, int timeslot) const;
  // The timeslot receives new bits; a configured channel of an open trunk
  // reports them to every open as a 12-byte event record.
  void ReceiveBits(int trunk, int timeslot, uint8_t bits);

 private:
  long OpenTrunk(unsigned long trunk, bool open);
  long Configure(Record& record);
  long SetBits(Record& record);
  long GetBits(Record& record) const;
  // True when the record addresses a timeslot of an open trunk.
  bool IsOpenChannel(int32_t trunk, int32_t timeslot) const;

  std::array<bool, kTrunks> trunk_open_{};
  std::array<std::array<Channel, kTimeslots>, kTrunks> channels_{};
};

}  // namespace sim
