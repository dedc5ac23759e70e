#include "signalling/SignallingSlot.h"

#include "runtime/protocol/Packet.h"

#include <iostream>

namespace SignallingSlot {

bool SendUserData(ProtocolsFamily& family, const std::vector<char>& bytes, const PutHeader& put_header) {
  Packet packet;
  family.prepare_head(packet);
  // Larger than a frame can carry: refused rather than ending the process.
  if (bytes.size() > packet.get()->_tailroom()) {
    put_header(std::cerr);
    std::cerr << "userData of " << bytes.size() << " octets does not fit a frame" << std::endl;
    return false;
  }
  packet.put(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<unsigned>(bytes.size()));
  family.message(packet);
  return true;
}

std::vector<char> UserDataOf(Packet& packet) {
  packet.passert(static_cast<bool>(packet), "null packet");
  return std::vector<char>(packet.data(), packet.data() + packet.length());
}

LGCP::IoctlResponse HdlcLinkReport(const HDLC::Counters& counters) {
  LGCP::IoctlResponse response;
  LGCP::HdlcLinkInfo& info = response.select_hdlcLinkInfo();
  info.set_txSU(static_cast<int>(counters.txSU));
  info.set_txDiscard(static_cast<int>(counters.txDiscard));
  info.set_txError(static_cast<int>(counters.txError));
  info.set_txOverflow(static_cast<int>(counters.txOverflow));
  info.set_rxSU(static_cast<int>(counters.rxSU));
  return response;
}

}  // namespace SignallingSlot
