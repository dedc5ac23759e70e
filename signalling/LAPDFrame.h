// LAPD frames (Q.921) as both sides of a D channel build them: the control
// octets, and the address in front of them.
#pragma once

#include "runtime/protocol/Packet.h"

#include <cstdint>

namespace ISDN::LAPDFrame {

// Q.921 table 5: U frame control octets with P/F clear, then S frame ones.
constexpr uint8_t kSABME = 0x6F;
constexpr uint8_t kDISC = 0x43;
constexpr uint8_t kUA = 0x63;
constexpr uint8_t kDM = 0x0F;
constexpr uint8_t kUI = 0x03;
constexpr uint8_t kFRMR = 0x87;
constexpr uint8_t kXID = 0xAF;
constexpr uint8_t kRR = 0x01;
constexpr uint8_t kRNR = 0x05;
constexpr uint8_t kREJ = 0x09;
// The P/F bit of a U frame's control octet.
constexpr uint8_t kUPollFinal = 0x10;

// [SAPI:6|C/R|EA=0] [TEI:7|EA=1], pushed in front of what the frame holds.
inline void PushAddress(Packet& frame, unsigned sapi, unsigned tei, bool cr) {
  frame.push8(static_cast<uint8_t>(tei << 1 | 1));
  frame.push8(static_cast<uint8_t>(sapi << 2 | (cr ? 2 : 0)));
}

// [address] [code|P/F]
inline Packet UFrame(unsigned sapi, unsigned tei, bool cr, uint8_t code, bool pf) {
  Packet frame;
  frame.reserve_head(2);
  frame.put8(static_cast<uint8_t>(code | (pf ? kUPollFinal : 0)));
  PushAddress(frame, sapi, tei, cr);
  return frame;
}

// [address] [code] [N(R):7|P/F]
inline Packet SFrame(unsigned sapi, unsigned tei, bool cr, uint8_t code, unsigned nr, bool pf) {
  Packet frame;
  frame.reserve_head(2);
  frame.put8(code);
  frame.put8(static_cast<uint8_t>(nr << 1 | (pf ? 1 : 0)));
  PushAddress(frame, sapi, tei, cr);
  return frame;
}

}  // namespace ISDN::LAPDFrame
