#pragma once

#include "hardware/GenericHDLC.h"
#include "hardware/HDLC.h"
#include "platform/sim/LineImpairments.h"
#include "runtime/loop/Dpc.h"
#include "runtime/protocol/Packet.h"

#include <cstdint>
#include <deque>
#include <utility>
#include <vector>

namespace test_support {

// A frame for the link under test, with room ahead for the headers it adds.
inline Packet PacketOf(const std::vector<uint8_t>& bytes) {
  Packet packet;
  packet.reserve_head(4);
  if (!bytes.empty()) {
    packet.put(bytes.data(), static_cast<unsigned>(bytes.size()));
  }
  return packet;
}

// One end of an in-memory HDLC channel for link-layer tests: the link under
// test transmits through it and hears its notify calls. Two joined ends form a
// line, and one end joined to several forms a bus (a BRI S bus: what the one
// sends every other hears, what any other sends the one hears); frames travel through the sender's impairments and
// arrive on a later loop pass, never inside the sender's call. The test can make the transmitter push back (EAGAIN:
// ready follows on the next pass), fail hard, or die.
class HdlcEnd : public GenericHDLC {
 public:
  using Bytes = std::vector<uint8_t>;
  struct Frame {
    uint32_t ms;  // loop clock when put on the line
    Bytes bytes;
  };

  HdlcEnd();
  // What one sends the other receives.
  static void Join(HdlcEnd& a, HdlcEnd& b);
  // Undoes a Join: the two no longer hear each other.
  static void Part(HdlcEnd& a, HdlcEnd& b);

  bool hdlc_transmit(Packet& packet) override;
  bool is_open() const override { return open_; }
  bool is_ready() const override { return ready_; }

  // The next count frames are refused as by a full device.
  void RefuseNext(unsigned count) { refuse_ = count; }
  // The next count frames fail as by a broken device (counted in tx_errors).
  void FailNext(unsigned count) { fail_ = count; }
  // The channel dies (read error or hang-up): closed, and the sink hears it.
  void Die();
  // A frame arrives from the line now, whatever the peer.
  void Inject(const Bytes& bytes) { Deliver(bytes); }
  // Frames this end received and not yet handed to its sink.
  size_t InFlight() const { return inbound_.size(); }
  // The bytes of the frames sent since the last call.
  std::vector<Bytes> TakeSent();

  HDLC::Notify* notify = nullptr;
  // The line towards the peers (each copy counts); repeated frames count too.
  sim::ImpairedLine line;
  // Frames arrive this much later on the loop clock.
  unsigned delay_ms = 0;
  // Put the last frame on the line again after this much silence (0: never),
  // as an SS7 channel fills the line with its last FISU or LSSU.
  unsigned repeat_ms = 0;
  // Every frame put on the line, in order, before the impairments.
  std::vector<Frame> sent;
  unsigned tx_errors = 0;

 private:
  void OnPass();
  void PutOnLine(const Bytes& bytes);
  void Deliver(const Bytes& bytes);

  std::vector<HdlcEnd*> peers_;
  bool open_ = true;
  bool ready_ = true;
  unsigned refuse_ = 0;
  unsigned fail_ = 0;
  uint32_t last_sent_ms_ = 0;
  Bytes last_;
  std::deque<Frame> inbound_;  // ms: due time
  Dpc dpc_;
};

}  // namespace test_support
