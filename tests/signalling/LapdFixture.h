#pragma once

#include "runtime/protocol/Packet.h"
#include "signalling/LAPD.h"
#include "tests/support/ControlLoop.h"
#include "tests/support/HdlcEnd.h"
#include "tests/support/LinkOwner.h"

#include <cstdint>
#include <vector>

namespace lapd_test {

using Bytes = std::vector<uint8_t>;
using ISDN::LAPD;

inline Packet PacketOf(const Bytes& bytes) {
  Packet packet;
  packet.reserve_head(4);
  if (!bytes.empty()) {
    packet.put(bytes.data(), static_cast<unsigned>(bytes.size()));
  }
  return packet;
}

// A Q.931 message of the given type with a one-octet call reference and a
// counter in a Display element, so each is different.
inline Bytes Q931(uint8_t type, unsigned n) {
  return {0x08, 0x01, static_cast<uint8_t>(n & 0x7F), type,
          0x28, 0x02, static_cast<uint8_t>(n >> 8),   static_cast<uint8_t>(n)};
}

// Counts the flow reports.
struct FlowCounter : LAPD::Notify {
  void OnLAPD_FlowStatusChange(LAPD* link) override { flows.push_back(link->flow_status()); }
  std::vector<LAPD::FlowStatus::Type> flows;
};

// One link on an in-memory channel, with its owner recording and the loop clock frozen.
struct Side {
  explicit Side(ISDN::Side::type side, bool bri = false) : link(new LAPD(side, 0)), owner(link) {
    link->hdlc = &end;
    link->notify = &flow;
    end.notify = link;
    if (bri) {
      link->change_to_bri();
    }
  }
  void Send(const Bytes& message) {
    Packet packet = PacketOf(message);
    link->message(packet);
  }
  // The frames sent since the last call.
  std::vector<Bytes> TakeSent() { return end.TakeSent(); }

  test_support::HdlcEnd end;
  FlowCounter flow;
  LAPD* link;  // owned by owner
  test_support::LinkOwner owner;
};

}  // namespace lapd_test
