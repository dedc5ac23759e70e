#pragma once

#include "hardware/HDLC.h"
#include "runtime/protocol/ProtocolsFamily.h"
#include "schemas/LGCP.h"

#include <functional>
#include <ostream>
#include <vector>

class Packet;

// What the signalling slots (PSTN, ISDN, HDLC) pass between the controller
// and their links, in one shape for all of them.
namespace SignallingSlot {

// Writes the slot's log-line header.
using PutHeader = std::function<void(std::ostream&)>;

// Sends the bytes of a userData command down the family as one layer-3
// message. False, with an error line after the header, when they do not fit
// one frame.
[[nodiscard]] bool SendUserData(ProtocolsFamily& family, const std::vector<char>& bytes, const PutHeader& put_header);
// The bytes of a layer-3 message that a link passed up, for a userData signal.
std::vector<char> UserDataOf(Packet& packet);
// The channel's counters as an hdlcLinkInfo report.
LGCP::IoctlResponse HdlcLinkReport(const HDLC::Counters& counters);

}  // namespace SignallingSlot
