// TEI management messages (Q.921 5.3), as both sides of a basic-rate
// interface send and read them.
#pragma once

#include "runtime/protocol/Packet.h"

#include <cstdint>

namespace ISDN::Tei {

// Q.921 table 8: message types.
constexpr uint8_t kIdentityRequest = 1;
constexpr uint8_t kIdentityAssigned = 2;
constexpr uint8_t kIdentityDenied = 3;
constexpr uint8_t kIdentityCheckRequest = 4;
constexpr uint8_t kIdentityCheckResponse = 5;
constexpr uint8_t kIdentityRemove = 6;
constexpr uint8_t kIdentityVerify = 7;

constexpr uint8_t kManagementEntity = 0x0F;
constexpr unsigned kGroupTei = 127;

// Fills frame with a UI command on SAPI 63, group TEI:
// [entity] [Ri low, high] [type] [Ai:7|1]. The C/R bit tells the side.
inline void PutMessage(Packet& frame, bool from_network, uint16_t ri, uint8_t type, unsigned ai) {
  const uint8_t octets[] = {static_cast<uint8_t>(from_network ? 0xFE : 0xFC),
                            0xFF,
                            0x03,
                            kManagementEntity,
                            static_cast<uint8_t>(ri),
                            static_cast<uint8_t>(ri >> 8),
                            type,
                            static_cast<uint8_t>(ai << 1 | 1)};
  frame.reserve_head(0);
  frame.put(octets, sizeof octets);
}

}  // namespace ISDN::Tei
