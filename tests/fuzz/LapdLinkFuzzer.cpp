// libFuzzer target: an ISDN LAPD link driven by a sequence of records.
//
// The first byte picks the side, PRI or BRI and the starting state. Then each
// record is a type byte and its arguments: a received frame (length, bytes),
// a TEI-management UI frame (length, information field), a DL-DATA request
// (length), DL-ESTABLISH, DL-RELEASE, a clock step (two bytes of
// milliseconds, timers then fire), the channel ready again, or a channel that
// pushes back or fails on its next write. After each record the queues must
// match the sequence numbers and the one timer slot must carry at most one
// running timer.
#include "platform/Clock.h"
#include "runtime/loop/Multiplexer.h"
#include "runtime/protocol/Packet.h"
#include "signalling/LAPD.h"
#include "tests/fuzz/ScriptedHdlc.h"

#include <cstdlib>
#include <iostream>
#include <streambuf>

namespace {

using ISDN::LAPD;

class NullBuffer : public std::streambuf {
 protected:
  int overflow(int c) override { return c; }
};

Packet Bytes(const uint8_t* data, size_t len, unsigned head) {
  Packet packet;
  packet.reserve_head(head);
  if (len > 0) {
    packet.put(data, static_cast<unsigned>(len));
  }
  return packet;
}

void Receive(LAPD& link, std::initializer_list<uint8_t> bytes) {
  Packet packet = Bytes(bytes.begin(), bytes.size(), 0);
  link.receive(packet);
}

void Step(unsigned ms) {
  platform::clock_control::Advance(ms);
  multiplexer.timers_schedule();
}

// States 0 to 7, as far as the link's interface gets there.
void Start(LAPD& link, unsigned choice) {
  const uint8_t peer_command = link.side == ISDN::Side::user ? 0x02 : 0x00;
  const uint8_t message[] = {0x08, 0x01, 0x01, 0x05};
  Packet packet = Bytes(message, sizeof message, 4);
  switch (choice % 8) {
    case 0:
      link.mdl_remove();
      return;
    case 1:
      link.mdl_remove();
      link.message(packet);
      return;
    case 2:
      link.mdl_remove();
      link.local_activate();
      return;
    case 3:
      return;
    case 4:
      link.local_activate();
      return;
    default:
      Receive(link, {peer_command, 0x01, 0x7F});
      if (choice % 8 == 5) {
        link.local_deactivate();
      } else if (choice % 8 == 7) {
        Step(10000);
      }
      return;
  }
}

void Check(const LAPD& link) {
  const auto& s = link.full_state();
  const unsigned outstanding = s.vs - s.va;
  const int running = int{s.t200_running} + int{s.t202_running} + int{s.t203_running};
  if (link.ack_count() != outstanding || outstanding > LAPD::kWindow || link.out_count() > LAPD::kOutCapacity ||
      running > 1 || (running == 1) != link.timer_pending() || s.state > 7) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static NullBuffer null_buffer;
  static const bool quiet = (std::clog.rdbuf(&null_buffer), std::cerr.rdbuf(&null_buffer),
                             std::cout.rdbuf(&null_buffer), platform::clock_control::Freeze(timeval{1, 0}), true);
  (void)quiet;
  if (size == 0) {
    return 0;
  }
  ScriptedHdlc channel;
  LAPD link((data[0] & 0x80) != 0 ? ISDN::Side::network : ISDN::Side::user, data[0] & 0x07);
  link.hdlc = &channel;
  if ((data[0] & 0x40) != 0) {
    link.change_to_bri();
  }
  Start(link, data[0] >> 3);
  Check(link);
  size_t at = 1;
  while (at < size) {
    const uint8_t type = data[at++];
    const size_t len = at < size ? std::min<size_t>(data[at], size - at - 1) : 0;
    switch (type % 10) {
      case 0: {
        Packet frame = Bytes(data + at + 1, len, 0);
        link.receive(frame);
        at += 1 + len;
        break;
      }
      case 1: {
        const uint8_t header[] = {0xFE, 0xFF, 0x03};
        Packet frame = Bytes(data + at + 1, len, 3);
        frame.push8(header[2]);
        frame.push8(header[1]);
        frame.push8(header[0] ^ (link.side == ISDN::Side::user ? 0 : 0x02));
        link.receive(frame);
        at += 1 + len;
        break;
      }
      case 2: {
        Packet message = Bytes(data + at + 1, len, (len & 1) != 0 ? 4 : 0);
        link.message(message);
        at += 1 + len;
        break;
      }
      case 3:
        link.local_activate();
        break;
      case 4:
        link.local_deactivate();
        break;
      case 5:
        if (at + 2 <= size) {
          Step(data[at] << 8 | data[at + 1]);
        }
        at += 2;
        break;
      case 6:
        channel.ready = true;
        link.on_hdlc_ready();
        break;
      case 7:
        channel.push_back = true;
        break;
      case 8:
        channel.fail = true;
        break;
      default:
        link.mdl_remove();
        break;
    }
    Check(link);
  }
  return 0;
}
