// libFuzzer target: a LEMZ gateway control on the simulated /dev/rtp_ext, driven by a random interleaving of
// received packets (any bytes, from one of four senders), controller modifiers, failed source requests and steps
// of the millisecond clock, forward and back (also across its wrap).
//
// The input is a sequence of operations, each a type byte and its bytes. Invariants: no crash under the
// sanitizers; every report the control makes encodes; the receive filter names the holder of the channel exactly
// while the radio is under push-to-talk, and a filter request goes out only when that changes.
#include "asn1/CoderEnv.h"
#include "platform/Device.h"
#include "platform/sim/Board.h"
#include "platform/sim/RtpExtDriver.h"
#include "radio/LemzRadioControl.h"
#include "tests/support/ControlLoop.h"
#include "tests/support/LemzGolden.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace RTPSignalling;

constexpr unsigned long kSourceRequest = 0xc00c4503;
constexpr unsigned long kSetFilter = 0xc0084504;
constexpr unsigned long kResetFilter = 0x20004505;
constexpr uint64_t kWrapMs = uint64_t{1} << 32;

struct EncodingCheck : IRadioControlNotify {
  void RadioControlNotify(const TERM::RtpRadioRequest& request) override {
    ASN1::CoderEnv env;
    std::vector<char> bytes;
    if (!ASN1::encode(request, &env, std::back_inserter(bytes))) {
      std::abort();
    }
  }
};

const char* const kModifiers[] = {
    "wm-trans : { flags { prio %P, ptt TRUE, bss FALSE, vad-rx FALSE, vad-tx FALSE, sql TRUE, sh FALSE, pwr FALSE, "
    "rv FALSE, resv FALSE, selcall 0, li 0 }, ip \"%A\", ssrc 5 }",
    "wm-flags : { flags { prio %P, ptt FALSE, bss FALSE, vad-rx FALSE, vad-tx FALSE, sql FALSE, sh FALSE, "
    "pwr FALSE, rv FALSE, resv FALSE, selcall 0, li 0 } }",
    "wm-chan : { freq { channel %P, frequency \"118.5\" }, squelshe on, rte h3e }",
    "wm-selcall : { flags { prio %P, ptt TRUE, bss FALSE, vad-rx FALSE, vad-tx FALSE, sql FALSE, sh FALSE, "
    "pwr FALSE, rv FALSE, resv FALSE, selcall 1, li 0 }, ip \"%A\", ssrc 6, cid \"77\" }",
    "wm-standby : { state-channel standby, group %P, state-receiver active }",
    "gw-set-ptt : { flags { prio %P, ptt TRUE, bss FALSE, vad-rx FALSE, vad-tx FALSE, sql FALSE, sh FALSE, "
    "pwr FALSE, rv FALSE, resv FALSE, selcall 0, li 0 } }",
};

std::string Sender(uint8_t byte) {
  return "10.0.0." + std::to_string(1 + byte % 4);
}

std::string Fill(std::string text, uint8_t byte) {
  for (const auto& [mark, value] : {std::pair<std::string, std::string>{"%P", std::to_string(byte % 16)},
                                    std::pair<std::string, std::string>{"%A", Sender(byte >> 4)}}) {
    for (size_t at; (at = text.find(mark)) != std::string::npos;) {
      text.replace(at, mark.size(), value);
    }
  }
  return text;
}

size_t FilterRequests(const sim::RtpExtDriver& ext) {
  size_t count = 0;
  for (const auto& request : ext.Requests()) {
    count += request.code == kSetFilter || request.code == kResetFilter ? 1 : 0;
  }
  return count;
}

std::optional<uint32_t> Holder(const LemzRadioControl& control) {
  const LemzRadioState& radio = control.RadioState();
  if (radio.ptt == 0 || radio.session_addr.s_addr == 0) {
    return std::nullopt;
  }
  return radio.session_addr.s_addr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static EncodingCheck check;
  sim::Board::instance().Reset();
  auto* ext = sim::Board::instance().Find<sim::RtpExtDriver>("/dev/rtp_ext");
  uint64_t now = kWrapMs - 3000;
  control_test::FreezeAtMs(now);
  const int rtp = platform::Open("/dev/rtp", O_RDWR);
  {
    LemzRadioGWControl control(1, rtp_ext_attach_session_params{rtp, getpid()},
                               rtp_ext_init_params{kLemzExtensionType, {}});
    control.SetNotify(&check);
    control.SetTimerEnable(true);
    TERM::RadioStatus status;
    if (!status.setFromValueNotation(std::string("lemz : ") + test::kLemzCreateStatus) ||
        !control.SendASNToChan(status)) {
      std::abort();
    }
    size_t at = 0;
    auto next = [&]() -> uint8_t { return at < size ? data[at++] : 0; };
    for (int op = 0; op < 64 && at < size; ++op) {
      const std::optional<uint32_t> holder = Holder(control);
      const size_t requests = ext->Requests().size();
      const size_t filters = FilterRequests(*ext);
      const uint8_t type = next();
      switch (type % 4) {
        case 0: {
          const uint8_t from = next();
          const size_t length = next() % 40;
          std::vector<uint8_t> packet;
          while (packet.size() < length && at < size) {
            packet.push_back(next());
          }
          ext->Inject(0, {from, inet_addr(Sender(from).c_str())}, packet, 1 + type / 64);
          // One whole pass, so the control reads the packet.
          control_test::RunPasses(3);
          break;
        }
        case 1: {
          const uint8_t which = next();
          TERM::RadioModifier modifier;
          const std::string text = std::string("lemz : { addr { session-addr \"") + Sender(which) +
                                   "\", session-ssrc 1 }, params " +
                                   Fill(kModifiers[which % std::size(kModifiers)], next()) + " }";
          if (!modifier.setFromValueNotation(text) || !control.SendASNToChan(modifier)) {
            std::abort();
          }
          break;
        }
        case 2:
          ext->FailNextRequest(kSourceRequest, 1, EIO);
          break;
        default: {
          const uint8_t step = next();
          // Mostly forward, sometimes a step back of the clock.
          now = (step & 0x80) != 0 ? now - (step & 0x7f) * 10 : now + step * 20;
          control_test::FreezeAtMs(now);
          control_test::RunPasses(3);
          break;
        }
      }
      if (ext->Filter(0) != Holder(control)) {
        std::abort();
      }
      // The history is bounded; count only while it is not full.
      if (ext->Requests().size() < sim::History<sim::Request>::kKept && requests < sim::History<sim::Request>::kKept &&
          FilterRequests(*ext) - filters != (Holder(control) != holder ? 1u : 0u)) {
        std::abort();
      }
    }
  }
  platform::Close(rtp);
  return 0;
}
