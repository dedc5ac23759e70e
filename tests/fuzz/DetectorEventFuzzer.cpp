// libFuzzer target: streams of records on the DTMF/tone and the DSP event
// devices, read and dispatched to mixer slots as the services do on a
// readable event.
//
// The input is a sequence of operations, each a type byte and its bytes: a
// whole DTMF (16 bytes) or DSP (24 bytes) record, a short record of either
// (a length byte and that many bytes, fewer than a whole record), or a
// hang-up of either device. When the type byte's top bit is set, a whole
// record's timeslot and id are those of a live receiver (for a DSP record,
// the mixer output's when bit 6 is set too), so that events get through to
// the slots. Invariants: no crash, no read past a record (the
// sanitizers watch the reads), and every signal the slots produce encodes.
#include "asn1/CoderEnv.h"
#include "hardware/DSProcReceiverService.h"
#include "hardware/TonecReceiverService.h"
#include "platform/ByteOrder.h"
#include "platform/sim/Board.h"
#include "platform/sim/DspDriver.h"
#include "schemas/LGCP.h"
#include "server/CtrlSrv.h"
#include "slots/Mixer.h"
#include "slots/MixerSlots.h"
#include "slots/Slots.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <iterator>
#include <sstream>
#include <vector>

namespace {

constexpr unsigned kInputTimeslot = 1025;
constexpr unsigned kOutputTimeslot = 1026;

// Sees every signal before it would go out, and insists that it encodes.
class EncodeCheck : public CtrlSrv::Service {
 public:
  void OnConnect() override {}
  void OnDisconnect() override {}
  bool OnCommand(const LGCP::Command&) override { return false; }
  void OnSignal(const LGCP::Signal& signal) override {
    LGCP::Message message;
    message.get_pdu().select_signal() = signal;
    std::vector<char> bytes;
    ASN1::CoderEnv env(ASN1::CoderEnv::per_Aligned);
    if (!ASN1::encode(message, &env, std::back_inserter(bytes))) {
      std::abort();
    }
  }
};

// The two mixer slots with everything switched on, on the simulated board.
struct Board {
  Board() {
    std::clog.rdbuf(quiet.rdbuf());
    std::cerr.rdbuf(quiet.rdbuf());
    server.Bind(&Slots::instance());
    server.Bind(&check);
    (void)input.enableDTMF(true);
    (void)input.enableVAD(true);
    (void)input.enableSD(true);
    (void)input.enableBSS(true);
    (void)output.enableVAD(true);
    const auto dsp = sim::Board::instance().Find<sim::DspDriver>(sim::DspDriver::kPath)->Timeslots();
    input_vad_id = dsp.at(kInputTimeslot).ids.at(sim::DspDriver::kVad);
    output_vad_id = dsp.at(kOutputTimeslot).ids.at(sim::DspDriver::kVad);
  }
  std::stringstream quiet;
  CtrlSrv::Server server;
  EncodeCheck check;
  Mixer::Mixer unit{0};
  Mixer::TdmInput input{unit, 1, static_cast<int>(kInputTimeslot)};
  Mixer::TdmOutput output{unit, 2, static_cast<int>(kOutputTimeslot)};
  // What the simulated DSP reports as the id of each one's VAD events.
  uint32_t input_vad_id = 0;
  uint32_t output_vad_id = 0;
};

// One device's record stream: a sequenced-packet pair whose reading end the
// service is given as the device's descriptor.
class Stream {
 public:
  using Reader = void (*)(int fd, short revents);
  explicit Stream(Reader reader) : reader_(reader) { Open(); }
  ~Stream() { Close(); }

  void Put(const uint8_t* data, size_t size) {
    if (send(ends_[1], data, size, MSG_DONTWAIT) >= 0) {
      return;
    }
    Flush();
    (void)send(ends_[1], data, size, MSG_DONTWAIT);
  }
  void Flush() { reader_(ends_[0], POLLIN); }
  void HangUp() {
    close(ends_[1]);
    ends_[1] = -1;
    reader_(ends_[0], POLLIN | POLLHUP);
    Close();
    Open();
  }

 private:
  void Open() {
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, ends_) != 0) {
      std::abort();
    }
  }
  void Close() {
    for (int& end : ends_) {
      if (end >= 0) {
        close(end);
      }
      end = -1;
    }
  }

  Reader reader_;
  int ends_[2] = {-1, -1};
};

void ReadDtmf(int fd, short revents) {
  Hardware::TonecReceiverService::instance().OnEvent(fd, revents);
  if ((revents & POLLHUP) != 0) {
    (void)Hardware::TonecReceiverService::instance().init();
  }
}

void ReadDsp(int fd, short revents) {
  Hardware::DSProcReceiverService::instance().OnEvent(fd, revents);
  if ((revents & POLLHUP) != 0) {
    (void)Hardware::DSProcReceiverService::instance().init();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Board board;
  // Kept from input to input (each ends with both read empty): a new pair of
  // each per input cost more than most inputs' records.
  static Stream dtmf(ReadDtmf);
  static Stream dsp(ReadDsp);
  size_t at = 0;
  while (at < size) {
    const uint8_t type = data[at++];
    const bool live = (type & 0x80) != 0;
    const bool is_dtmf = (type & 1) == 0;
    Stream& stream = is_dtmf ? dtmf : dsp;
    const size_t whole =
        is_dtmf ? Hardware::TonecReceiverService::kEventSize : Hardware::DSProcReceiverService::kEventSize;
    switch ((type >> 1) % 3) {
      case 0: {
        if (size - at < whole) {
          // A cut record ends the input; what was put still gets read.
          at = size;
          break;
        }
        std::vector<uint8_t> record(data + at, data + at + whole);
        at += whole;
        if (live && is_dtmf) {
          platform::StoreBe32(&record[4], kInputTimeslot);
          platform::StoreBe32(&record[12], board.input.id());
        } else if (live) {
          const bool to_output = (type & 0x40) != 0;
          platform::StoreBe32(&record[0], to_output ? kOutputTimeslot : kInputTimeslot);
          platform::StoreBe32(&record[4], to_output ? board.output_vad_id : board.input_vad_id);
        }
        stream.Put(record.data(), record.size());
        break;
      }
      case 1: {
        if (at == size) {
          break;
        }
        const size_t wanted = data[at++] % whole;
        const size_t length = std::min(wanted, size - at);
        stream.Put(data + at, length);
        at += length;
        break;
      }
      default:
        stream.HangUp();
        break;
    }
  }
  dtmf.Flush();
  dsp.Flush();
  board.quiet.str("");
  return 0;
}
