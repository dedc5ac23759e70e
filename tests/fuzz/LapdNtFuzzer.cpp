// libFuzzer target: the network side of a BRI bus driven by a sequence of
// records, each a type byte and its arguments: a frame from a terminal (TEI,
// C/R, length, bytes after the address), a TEI-management frame (Ri, type,
// Ai), a message from above (call reference, type, length), a clock step (two
// bytes of milliseconds, timers then fire), activation, deactivation, or raw
// bytes. After each record at most eight entries are assigned, no two share
// a TEI, and none has more than seven frames unacknowledged.
#include "platform/Clock.h"
#include "runtime/loop/Multiplexer.h"
#include "signalling/LAPDNT.h"
#include "tests/support/LinkOwner.h"

#include <cstdlib>
#include <iostream>
#include <streambuf>

namespace {

using ISDN::LAPD_NT;
using ISDN::LAPD_NT_user;

class NullBuffer : public std::streambuf {
 protected:
  int overflow(int c) override { return c; }
};

// Frames sent down are dropped.
struct Owner : test_support::LinkOwner {
  explicit Owner(LAPD_NT* link) : LinkOwner(link) {}
  void transmit(Packet&) override {}
};

Packet Bytes(std::initializer_list<uint8_t> head, const uint8_t* data, size_t len) {
  Packet packet;
  packet.reserve_head(4);
  for (uint8_t byte : head) {
    packet.put8(byte);
  }
  if (len > 0) {
    packet.put(data, static_cast<unsigned>(len));
  }
  return packet;
}

void Check(const LAPD_NT& link) {
  for (unsigned i = 0; i < LAPD_NT::kEntries; ++i) {
    const LAPD_NT_user& a = link.entry(i);
    if (a.outstanding() > LAPD_NT_user::kWindow) {
      std::abort();
    }
    for (unsigned k = i + 1; a.state() != LAPD_NT_user::kUnassigned && k < LAPD_NT::kEntries; ++k) {
      if (link.entry(k).state() != LAPD_NT_user::kUnassigned && link.entry(k).tei() == a.tei()) {
        std::abort();
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static NullBuffer null_buffer;
  static const bool quiet = (std::clog.rdbuf(&null_buffer), std::cerr.rdbuf(&null_buffer),
                             std::cout.rdbuf(&null_buffer), platform::clock_control::Freeze(timeval{1, 0}), true);
  (void)quiet;
  auto* link = new LAPD_NT;
  Owner owner(link);
  link->set_log(size > 0 ? data[0] & 3 : 0);
  size_t at = 1;
  auto arg = [&](size_t i) -> uint8_t { return at + i < size ? data[at + i] : 0; };
  while (at < size) {
    const uint8_t type = data[at++];
    switch (type % 7) {
      case 0: {
        const size_t len = std::min<size_t>(arg(2), size - std::min(size, at + 3));
        Packet frame = Bytes({static_cast<uint8_t>((arg(1) & 1) << 1), static_cast<uint8_t>(arg(0) << 1 | 1)},
                             data + std::min(size, at + 3), len);
        link->receive(frame);
        at += 3 + len;
        break;
      }
      case 1: {
        Packet frame = Bytes({0xFC, 0xFF, 0x03, 0x0F, arg(0), arg(1), static_cast<uint8_t>(arg(2) % 8),
                              static_cast<uint8_t>(arg(3) | 1)},
                             nullptr, 0);
        link->receive(frame);
        at += 4;
        break;
      }
      case 2: {
        const size_t len = std::min<size_t>(arg(2), size - std::min(size, at + 3));
        Packet message = Bytes({0x08, 0x01, arg(0), arg(1)}, data + std::min(size, at + 3), len);
        link->message(message);
        at += 3 + len;
        break;
      }
      case 3:
        platform::clock_control::Advance(arg(0) << 8 | arg(1));
        multiplexer.timers_schedule();
        at += 2;
        break;
      case 4:
        link->local_activate();
        break;
      case 5:
        link->local_deactivate();
        break;
      default: {
        const size_t len = std::min<size_t>(arg(0), size - std::min(size, at + 1));
        Packet frame = Bytes({}, data + std::min(size, at + 1), len);
        link->receive(frame);
        at += 1 + len;
        break;
      }
    }
    Check(*link);
  }
  return 0;
}
