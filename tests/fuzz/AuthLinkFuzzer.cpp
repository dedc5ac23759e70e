// libFuzzer target: the dial-in authentication link's record reassembly and
// dispatch, fed through a connection in segments of random size and content.
//
// The input cuts itself into segments: a control byte gives the length (low 7
// bits, times 5) and, with bit 7, an answer record sent back for the session in
// the byte after the segment; 0xff closes the far end. Records of session -1
// reach a modem slot and become signals. ASan guards the invariants: nothing is
// read outside a record, and no client is freed inside its own callback.
#include "slots/ModemFactory.h"
#include "slots/Slot.h"
#include "tests/support/ControlLoop.h"

#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <cstddef>
#include <cstdint>
#include <iostream>
#include <memory>
#include <streambuf>

namespace {

// The link logs every bad record; the fuzzer does not need to see them.
class NullBuffer : public std::streambuf {
 protected:
  int overflow(int c) override { return c; }
};

ModemFactory& Factory() {
  static ModemFactory& factory = [] {
    setenv("GATEWAY_AUTH_PORT", "0", 1);
    static NullBuffer null;
    std::cerr.rdbuf(&null);
    std::clog.rdbuf(&null);
    std::cout.rdbuf(&null);
    return std::ref(ModemFactory::instance());
  }();
  return factory;
}

// A modem slot never connected: session -1 is its.
Slot& Modem() {
  static std::unique_ptr<Slot> slot = [] {
    LGCP::CreateParams params;
    params.select_modem();
    return Factory().NewSlot(params);
  }();
  return *slot;
}

}  // namespace

// The leak check between inputs would count the ASN.1 value pool's kept
// blocks, which the signals of the modem slot fill, as lost; the invariants
// here are reads and frees, which AddressSanitizer checks on every input.
extern "C" int __lsan_is_turned_off() {
  return 1;
}

// Everything that lives for the whole run is built before the first input, so
// the leak check of an input sees only what that input did.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // As in the server: an answer to a peer that has gone fails instead of ending the process.
  signal(SIGPIPE, SIG_IGN);
  static_cast<void>(Modem());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  int ends[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, ends) != 0) {
    return 0;
  }
  Factory().AddAuthClient(Fd(ends[0]), INet4::Addr());
  Fd peer(ends[1]);
  size_t at = 0;
  while (at < size && peer) {
    const uint8_t control = data[at++];
    if (control == 0xff) {
      static_cast<void>(peer.close());
      break;
    }
    const size_t length = std::min<size_t>((control & 0x7f) * 5u, size - at);
    if (length > 0 && write(peer.get(), data + at, length) < 0) {
      break;
    }
    at += length;
    // One whole pass, so the client reads what came: a terminate asked before
    // the first pass polls leaves every handler unserved.
    control_test::RunPasses(3);
    if ((control & 0x80) != 0 && at < size) {
      const uint32_t session = data[at++] == 0 ? 0xffffffff : data[at - 1];
      Factory().SendAuth({0, 0, 0, 16, 0, 0, 0, 2, static_cast<uint8_t>(session >> 24),
                          static_cast<uint8_t>(session >> 16), static_cast<uint8_t>(session >> 8),
                          static_cast<uint8_t>(session), 0, 0, 0, 1});
      uint8_t drain[512];
      while (read(peer.get(), drain, sizeof drain) > 0) {
      }
    }
  }
  static_cast<void>(peer.close());
  // The client reads the end and leaves; one left behind would be served by every later input's passes.
  control_test::RunPasses(3);
  return 0;
}
