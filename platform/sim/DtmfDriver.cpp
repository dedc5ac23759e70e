#include "platform/sim/DtmfDriver.h"

#include "platform/Clock.h"
#include "platform/sim/Board.h"
#include "platform/sim/ControlArgs.h"

#include <sys/time.h>

#include <cerrno>

namespace sim {
namespace {

// Requests: type 'B'.
constexpr unsigned long kConfigure = 0x40144202;  // u32 timeslot, twist, ratio, silence, noise
constexpr unsigned long kEnable = 0x40084203;     // u32 timeslot, id
constexpr unsigned long kDisable = 0x40044204;    // the timeslot as the value
constexpr unsigned long kDial = 0x400c4205;       // u32 timeslot, u16 freq1, freq2, level1, level2
constexpr unsigned long kLmsOn = 0x40044206;
constexpr unsigned long kLmsOff = 0x40044207;
constexpr unsigned long kRejectionOn = 0x40044209;
constexpr unsigned long kRejectionOff = 0x4004420a;
constexpr unsigned long kIvaOn = 0x4004420b;
constexpr unsigned long kIvaOff = 0x4004420c;
constexpr unsigned long kIvaConfigure = 0x4008420d;  // u32 timeslot, i32 level
constexpr unsigned long kSelcalDial = 0x400c420e;    // u32 timeslot, u16 amplitude, 4 signs, 2 bytes 0
// Timeslots of the TDM fabric the DSP serves.
constexpr uint32_t kTimeslots = 8192 + 2048;

int64_t LoopMs() {
  timeval now{};
  platform::GetTimeOfDay(&now);
  return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_usec / 1000;
}

}  // namespace

DtmfDriver::DtmfDriver() : EventDeviceDriver(kPath, 16) {
  HandleRecord(kConfigure, 20, [this](OpenFile&, Record& r) -> long {
    if (r.U32(0) >= kTimeslots) {
      return -EINVAL;
    }
    At(r.U32(0)).thresholds = std::vector<uint32_t>{r.U32(4), r.U32(8), r.U32(12), r.U32(16)};
    return 0;
  });
  HandleRecord(kEnable, 8, [this](OpenFile&, Record& r) -> long {
    if (r.U32(0) >= kTimeslots) {
      return -EINVAL;
    }
    At(r.U32(0)).detector = true;
    At(r.U32(0)).id = r.U32(4);
    return 0;
  });
  HandleValue(kDisable, [this](OpenFile&, unsigned long ts) { return Switch(ts, &Timeslot::detector, false); });
  HandleRecord(kDial, 12, [this](OpenFile&, Record& r) -> long {
    if (r.U32(0) >= kTimeslots) {
      return -EINVAL;
    }
    tones_.Add(Tone{LoopMs(), r.U32(0), r.U16(4), r.U16(6), r.U16(8), r.U16(10)});
    return 0;
  });
  HandleValue(kLmsOn, [this](OpenFile&, unsigned long ts) { return Switch(ts, &Timeslot::echo_canceller, true); });
  HandleValue(kLmsOff, [this](OpenFile&, unsigned long ts) { return Switch(ts, &Timeslot::echo_canceller, false); });
  HandleValue(kRejectionOn, [this](OpenFile&, unsigned long ts) { return Switch(ts, &Timeslot::rejection, true); });
  HandleValue(kRejectionOff, [this](OpenFile&, unsigned long ts) { return Switch(ts, &Timeslot::rejection, false); });
  HandleValue(kIvaOn, [this](OpenFile&, unsigned long ts) { return Switch(ts, &Timeslot::iva, true); });
  HandleValue(kIvaOff, [this](OpenFile&, unsigned long ts) { return Switch(ts, &Timeslot::iva, false); });
  HandleRecord(kIvaConfigure, 8, [this](OpenFile&, Record& r) -> long {
    if (r.U32(0) >= kTimeslots) {
      return -EINVAL;
    }
    At(r.U32(0)).iva_level = r.I32(4);
    return 0;
  });
  HandleRecord(kSelcalDial, 12, [this](OpenFile&, Record& r) -> long {
    if (r.U32(0) >= kTimeslots || r.U16(10) != 0) {
      return -EINVAL;
    }
    const std::vector<uint8_t>& bytes = r.Bytes();
    selcals_.Add(Selcal{r.U32(0), r.U16(4), std::string(bytes.begin() + 6, bytes.begin() + 10)});
    return 0;
  });
  AddCommands();
}

long DtmfDriver::Switch(unsigned long value, bool Timeslot::*flag, bool on) {
  if (value >= kTimeslots) {
    return -EINVAL;
  }
  At(static_cast<uint32_t>(value)).*flag = on;
  return 0;
}

std::map<uint32_t, DtmfDriver::Timeslot> DtmfDriver::Timeslots() const {
  auto lock = Board::Lock();
  return timeslots_;
}

std::vector<DtmfDriver::Tone> DtmfDriver::Tones() const {
  auto lock = Board::Lock();
  return tones_.Items();
}

std::vector<DtmfDriver::Selcal> DtmfDriver::Selcals() const {
  auto lock = Board::Lock();
  return selcals_.Items();
}

bool DtmfDriver::Detect(uint32_t timeslot, uint32_t code, uint32_t timestamp, std::optional<uint32_t> id) {
  auto lock = Board::Lock();
  const auto found = timeslots_.find(timeslot);
  const uint32_t event_id = id ? *id : found == timeslots_.end() ? 0 : found->second.id;
  Record record(16);
  record.SetU32(0, code).SetU32(4, timeslot).SetU32(8, timestamp).SetU32(12, event_id);
  return DeliverRaw(record.Bytes());
}

std::string DtmfDriver::Describe(const Timeslot& state) {
  return "detector=" + std::to_string(state.detector) + " id=" + std::to_string(state.id) +
         " lms=" + std::to_string(state.echo_canceller) + " rejection=" + std::to_string(state.rejection) +
         " iva=" + std::to_string(state.iva);
}

void DtmfDriver::AddCommands() {
  // detect <timeslot> <code> [timestamp]: the detector reports under the enabled id.
  AddCommand("detect", [this](const std::vector<std::string>& args) {
    ControlArgs in(args, "detect <timeslot> <code> [timestamp]", 2, 3);
    const std::optional<uint32_t> timeslot = in.Word32("timeslot");
    const std::optional<uint32_t> code = in.Word32("code");
    const std::optional<uint32_t> timestamp = in.Left() > 0 ? in.Word32("timestamp") : 0;
    if (in.Refused()) {
      return in.Refusal();
    }
    if (!Detect(*timeslot, *code, *timestamp)) {
      return Reply{false, "nobody has the device open"};
    }
    return Reply{true, ""};
  });
  // timeslot <n>: what the timeslot has switched on.
  AddCommand("timeslot", [this](const std::vector<std::string>& args) {
    ControlArgs in(args, "timeslot <n>", 1);
    const std::optional<int> timeslot = in.Int("timeslot", 0, static_cast<int>(kTimeslots) - 1);
    if (in.Refused()) {
      return in.Refusal();
    }
    const auto all = Timeslots();
    const auto found = all.find(static_cast<uint32_t>(*timeslot));
    return Reply{true, found == all.end() ? Describe(Timeslot{}) : Describe(found->second)};
  });
}

}  // namespace sim
