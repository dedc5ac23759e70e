#pragma once

#include "hardware/HDLC.h"
#include "signalling/LAPDNT.h"
#include "tests/signalling/LapdFixture.h"

namespace lapd_test {

// The network side of a BRI bus on an in-memory channel: its owner sends its
// frames onto the channel and hands it what the channel receives.
struct NtSide : test_support::LinkOwner, HDLC::Notify {
  NtSide() : NtSide(new ISDN::LAPD_NT) {}
  explicit NtSide(ISDN::LAPD_NT* layer) : LinkOwner(layer), link(layer) { end.notify = this; }

  void transmit(Packet& frame) override { (void)end.hdlc_transmit(frame); }
  void on_hdlc_receive(Packet& frame) override { link->receive(frame); }
  void on_hdlc_error(Cause::Type) override {}
  void on_hdlc_ready() override {}

  void Send(const Bytes& message) {
    Packet packet = PacketOf(message);
    link->message(packet);
  }
  std::vector<Bytes> TakeSent() {
    std::vector<Bytes> frames;
    for (const auto& frame : end.sent) {
      frames.push_back(frame.bytes);
    }
    end.sent.clear();
    return frames;
  }

  ISDN::LAPD_NT* link;  // owned by the LinkOwner base
  test_support::HdlcEnd end;
};

// A Q.931 message on call reference cr (flag included) with a counter.
inline Bytes Q931On(uint8_t cr, uint8_t type, unsigned n) {
  Bytes message = Q931(type, n);
  message[2] = cr;
  return message;
}

// TEI management frames: the terminals send octet 1 0xFC, the network 0xFE.
inline Bytes TeiFrame(bool network, uint16_t ri, uint8_t type, unsigned ai) {
  return {static_cast<uint8_t>(network ? 0xFE : 0xFC),
          0xFF,
          0x03,
          0x0F,
          static_cast<uint8_t>(ri),
          static_cast<uint8_t>(ri >> 8),
          type,
          static_cast<uint8_t>(ai << 1 | 1)};
}

}  // namespace lapd_test
