#include "tests/support/HdlcEnd.h"

#include "runtime/clock/Mux.h"
#include "runtime/protocol/Packet.h"

#include <algorithm>

namespace test_support {

HdlcEnd::HdlcEnd() {
  dpc_.Bind(this, &HdlcEnd::OnPass);
  dpc_.Activate();
}

void HdlcEnd::Join(HdlcEnd& a, HdlcEnd& b) {
  a.peers_.push_back(&b);
  b.peers_.push_back(&a);
}

void HdlcEnd::Part(HdlcEnd& a, HdlcEnd& b) {
  a.peers_.erase(std::remove(a.peers_.begin(), a.peers_.end(), &b), a.peers_.end());
  b.peers_.erase(std::remove(b.peers_.begin(), b.peers_.end(), &a), b.peers_.end());
}

std::vector<HdlcEnd::Bytes> HdlcEnd::TakeSent() {
  std::vector<Bytes> frames;
  for (const auto& frame : sent) {
    frames.push_back(frame.bytes);
  }
  sent.clear();
  return frames;
}

bool HdlcEnd::hdlc_transmit(Packet& packet) {
  if (packet.length() == 0) {
    return true;
  }
  if (!open_) {
    return false;
  }
  if (refuse_ > 0) {
    --refuse_;
    ready_ = false;
    return false;
  }
  if (fail_ > 0) {
    --fail_;
    ++tx_errors;
    return false;
  }
  PutOnLine(Bytes(packet.data(), packet.data() + packet.length()));
  return true;
}

void HdlcEnd::Die() {
  open_ = false;
  ready_ = false;
  if (notify != nullptr) {
    notify->on_hdlc_error(HDLC::Notify::Cause::receive);
  }
}

void HdlcEnd::PutOnLine(const Bytes& bytes) {
  const uint32_t now = Mux::milliseconds();
  sent.push_back(Frame{now, bytes});
  last_ = bytes;
  last_sent_ms_ = now;
  for (HdlcEnd* peer : peers_) {
    const unsigned copies = line.Copies();
    for (unsigned copy = 0; copy < copies; ++copy) {
      peer->inbound_.push_back(Frame{now + delay_ms, bytes});
    }
  }
}

void HdlcEnd::Deliver(const Bytes& bytes) {
  if (notify == nullptr) {
    return;
  }
  Packet packet;
  packet.reserve_head(0);
  packet.put(bytes.data(), static_cast<unsigned>(bytes.size()));
  notify->on_hdlc_receive(packet);
}

void HdlcEnd::OnPass() {
  const uint32_t now = Mux::milliseconds();
  if (open_ && !ready_) {
    ready_ = true;
    if (notify != nullptr) {
      notify->on_hdlc_ready();
    }
  }
  if (open_ && repeat_ms != 0 && !last_.empty() && static_cast<int32_t>(now - last_sent_ms_) >= int32_t(repeat_ms)) {
    PutOnLine(Bytes(last_));
  }
  while (open_ && !inbound_.empty() && static_cast<int32_t>(now - inbound_.front().ms) >= 0) {
    const Bytes bytes = std::move(inbound_.front().bytes);
    inbound_.pop_front();
    Deliver(bytes);
  }
}

}  // namespace test_support
