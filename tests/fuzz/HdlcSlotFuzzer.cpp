// libFuzzer target: the receive path of an HDLC slot, fed frames and clock
// steps. The input is a sequence of operations, each a type byte: with bit 7
// set, the clock moves by the low 7 bits times 8 ms and due timers fire;
// otherwise a frame of the next (type & 0x3f) bytes, put behind the slot's
// address when bit 6 is set. Invariants: no crash, and every hdlcPackages
// signal holds 1 to 128 packages, none of them from a frame for another
// address (every body the slot passes up came in behind its address).
#include "platform/Clock.h"
#include "platform/sim/Board.h"
#include "platform/sim/HalDriver.h"
#include "runtime/loop/Multiplexer.h"
#include "runtime/protocol/Packet.h"
#include "schemas/LGCP.h"
#include "server/CtrlSrv.h"
#include "signalling/HdlcSlot.h"
#include "slots/Slots.h"

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <set>
#include <streambuf>
#include <vector>

namespace {

constexpr uint16_t kAddress = 0x1234;

class NullBuffer : public std::streambuf {
 protected:
  int overflow(int c) override { return c; }
};

// Bodies that arrived behind the slot's address, and the check of each signal.
class Check : public CtrlSrv::Service {
 public:
  void OnConnect() override {}
  void OnDisconnect() override {}
  bool OnCommand(const LGCP::Command&) override { return false; }
  void OnSignal(const LGCP::Signal& signal) override {
    if (!signal.is_ioctl() || !signal.get_ioctl().is_hdlcPackages()) {
      return;
    }
    const auto& packages = signal.get_ioctl().get_hdlcPackages();
    if (packages.empty() || packages.size() > HdlcSlot::kBatchPackages) {
      std::abort();
    }
    for (const LGCP::HdlcPackage& package : packages) {
      const ASN1::OCTET_STRING& body = package.get_body();
      if (ours.count(std::vector<uint8_t>(body.begin(), body.end())) == 0) {
        std::abort();
      }
    }
  }
  std::set<std::vector<uint8_t>> ours;
};

}  // namespace

// Builds the slot outside the slot table, as the factory would.
struct HdlcSlotProbe {
  static HdlcSlot* New() {
    LGCP::HdlcParams params;
    params.set_trunk(1);
    params.set_log(0);
    params.set_address(kAddress);
    return new HdlcSlot(params);
  }
  static void Delete(HdlcSlot* slot) { delete slot; }
};

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static NullBuffer null_buffer;
  static CtrlSrv::Server server;
  static Check check;
  // Without a switch device: its refresh would disable 128 outputs at every
  // step of the clock, most of each input's time, and the receive path never
  // touches the switch (a channel works without its joins).
  static const bool ready =
      (std::clog.rdbuf(&null_buffer), std::cerr.rdbuf(&null_buffer), platform::clock_control::Freeze(timeval{1, 0}),
       sim::Board::instance().Find(sim::HalDriver::kPath)->SetAbsent(true), server.Bind(&Slots::instance()),
       server.Bind(&check), true);
  (void)ready;
  check.ours.clear();
  HdlcSlot* slot = HdlcSlotProbe::New();
  size_t at = 0;
  while (at < size) {
    const uint8_t type = data[at++];
    if ((type & 0x80) != 0) {
      platform::clock_control::Advance((type & 0x7fu) * 8u);
      multiplexer.timers_schedule();
      continue;
    }
    const size_t len = std::min<size_t>(type & 0x3fu, size - at);
    Packet frame;
    frame.reserve_head(0);
    if ((type & 0x40) != 0) {
      frame.put16_b(kAddress);
      if (len > 0) {
        check.ours.insert(std::vector<uint8_t>(data + at + 1, data + at + len));
      }
    } else if (len >= 3 && (data[at] << 8 | data[at + 1]) == kAddress) {
      check.ours.insert(std::vector<uint8_t>(data + at + 3, data + at + len));
    }
    frame.put(data + at, static_cast<unsigned>(len));
    at += len;
    slot->on_hdlc_receive(frame);
  }
  HdlcSlotProbe::Delete(slot);
  return 0;
}
