// libFuzzer target: an SS7 MTP level 2 link driven by a sequence of records.
//
// The first byte picks the starting state. Then each record is a type byte
// and its arguments: a received frame (length, bytes), a layer-3 message
// (length), a clock step (two bytes of milliseconds, timers then fire), the
// channel ready again, a trunk status, or a channel that pushes back or fails
// on its next write. After each record the buffers must be consistent, the
// one timer pending exactly when the state needs it, and an idle link must
// have sent nothing but SIOS.
#include "platform/Clock.h"
#include "runtime/loop/Multiplexer.h"
#include "runtime/protocol/Packet.h"
#include "signalling/SLC.h"
#include "tests/fuzz/ScriptedHdlc.h"

#include <cstdlib>
#include <iostream>
#include <streambuf>

namespace {

using State = SS7::SLC::State;

class Channel : public ScriptedHdlc {
 public:
  bool hdlc_transmit(Packet& packet) override {
    if (slc->get_state_id() == State::idle && !IsSios(packet)) {
      std::abort();
    }
    return ScriptedHdlc::hdlc_transmit(packet);
  }

  static bool IsSios(const Packet& p) {
    return p.length() == 4 && p[0] == 0xFF && p[1] == 0xFF && p[2] == 1 && p[3] == SS7::SLC::SIOS;
  }

  SS7::SLC* slc = nullptr;
};

class NullBuffer : public std::streambuf {
 protected:
  int overflow(int c) override { return c; }
};

Packet Bytes(const uint8_t* data, size_t len) {
  Packet packet;
  packet.reserve_head(3);
  if (len > 0) {
    packet.put(data, static_cast<unsigned>(len));
  }
  return packet;
}

void Receive(SS7::SLC& slc, std::initializer_list<uint8_t> bytes) {
  Packet packet = Bytes(bytes.begin(), bytes.size());
  slc.receive(packet);
}

void Start(SS7::SLC& slc, uint8_t choice) {
  switch (choice % 4) {
    case 0:
      return;
    case 1:
      slc.local_activate();
      return;
    case 2:
      slc.local_activate();
      Receive(slc, {0xFF, 0xFF, 1, SS7::SLC::SIN});
      return;
    default:
      slc.local_activate();
      Receive(slc, {0xFF, 0xFF, 1, SS7::SLC::SIN});
      Receive(slc, {0xFF, 0xFF, 0});
      return;
  }
}

void Check(const SS7::SLC& slc) {
  const unsigned count = slc.rtb_count();
  const unsigned span = (slc.rtb_last() - slc.rtb_first() + SS7::SLC::Sequence(1));
  if (count > SS7::SLC::kRtbLimit || count != span || slc.tb_count() + count > SS7::SLC::kTbLimit + 127) {
    std::abort();
  }
  // In service T7 runs at least while MSUs wait for their acknowledgement
  // (also while a retransmission waits for the channel); idle runs none, and
  // every other state its own.
  const State state = slc.get_state_id();
  const bool timer_broken =
      state == State::worked ? count > 0 && !slc.timer_pending() : slc.timer_pending() != (state != State::idle);
  if (timer_broken) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static NullBuffer null_buffer;
  static const bool quiet = (std::clog.rdbuf(&null_buffer), std::cerr.rdbuf(&null_buffer),
                             platform::clock_control::Freeze(timeval{1, 0}), true);
  (void)quiet;
  if (size == 0) {
    return 0;
  }
  Channel channel;
  SS7::SLC slc;
  channel.slc = &slc;
  slc.hdlc = &channel;
  slc.emergency = (data[0] & 0x80) != 0;
  Start(slc, data[0]);
  size_t at = 1;
  while (at < size) {
    const uint8_t type = data[at++];
    const size_t len = at < size ? std::min<size_t>(data[at], size - at - 1) : 0;
    switch (type % 7) {
      case 0: {
        Packet frame = Bytes(data + at + 1, len);
        slc.receive(frame);
        at += 1 + len;
        break;
      }
      case 1: {
        Packet message = Bytes(data + at + 1, len);
        slc.message(message);
        at += 1 + len;
        break;
      }
      case 2:
        if (at + 2 <= size) {
          platform::clock_control::Advance(data[at] << 8 | data[at + 1]);
          multiplexer.timers_schedule();
        }
        at += 2;
        break;
      case 3:
        channel.ready = true;
        slc.on_hdlc_ready();
        break;
      case 4:
        slc.OnTrunkHardStatus(len % 2 == 0);
        at += 1;
        break;
      case 5:
        channel.push_back = true;
        break;
      default:
        channel.fail = true;
        break;
    }
    Check(slc);
  }
  return 0;
}
