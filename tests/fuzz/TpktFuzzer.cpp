// libFuzzer target: arbitrary byte streams into the TPKT receiver.
//
// The input cuts itself into chunks: a control byte gives the chunk length
// (low 6 bits) and whether the reassembly timeout elapses first (bit 6). Every
// payload delivered must fit a frame, and framing it again must give back the
// header and the same bytes.
#include "platform/Clock.h"
#include "runtime/loop/Multiplexer.h"
#include "runtime/protocol/ProtocolsFamily.h"
#include "runtime/protocol/Tpkt_protocol.h"

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <streambuf>

namespace {

class Wire : public Protocol {
 public:
  void message(Packet& packet) override { written = packet; }
  void receive(Packet& chunk) override { on_message(chunk); }

  Packet written;
};

class Owner : public ProtocolsFamily {
 public:
  Owner() {
    wire_ = static_cast<Wire*>(add_protocol_tail(new Wire));
    add_protocol_tail(new Tpkt_protocol);
  }

  void on_message(Packet& payload) override {
    const unsigned len = payload.length();
    if (len > Tpkt_protocol::kMaxPayload) {
      std::abort();
    }
    Packet frame;
    prepare_head(frame);
    frame.put(payload.data(), len);
    message(frame);
    const Packet& out = wire_->written;
    if (out.length() != len + 4 || out[0] != 3 || out[1] != 0 || out[2] * 256u + out[3] != len + 4 ||
        (len > 0 && std::memcmp(out.data() + 4, payload.data(), len) != 0)) {
      std::abort();
    }
  }

 private:
  Wire* wire_;
};

// The receiver logs every stray byte; the fuzzer does not need to see them.
class NullBuffer : public std::streambuf {
 protected:
  int overflow(int c) override { return c; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static NullBuffer null_buffer;
  static const bool quiet = (std::clog.rdbuf(&null_buffer), platform::clock_control::Freeze(timeval{1, 0}), true);
  (void)quiet;

  Owner owner;
  size_t at = 0;
  while (at < size) {
    const uint8_t control = data[at++];
    if (control & 0x40) {
      platform::clock_control::Advance(3000);
      multiplexer.timers_schedule();
    }
    const size_t len = std::min<size_t>(control & 0x3F, size - at);
    Packet chunk;
    chunk.reserve_head(0);
    chunk.put(data + at, static_cast<unsigned>(len));
    owner.receive(chunk);
    at += len;
  }
  return 0;
}
