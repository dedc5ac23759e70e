#include "platform/sim/DspDriver.h"

#include "platform/sim/Board.h"
#include "platform/sim/ControlArgs.h"

#include <cerrno>
#include <cstdio>

namespace sim {
namespace {

// Requests: type 'd'.
constexpr unsigned long kConfigure = 0x40146401;  // u32 timeslot, u32 kind, 12 bytes by kind
constexpr unsigned long kEnable = 0x400c6402;     // u32 timeslot, id, mask
constexpr unsigned long kDisable = 0x400c6403;    // u32 timeslot, 0, mask
constexpr unsigned long kVersion = 0x40046404;    // value 0; answers the VAD parameter version

constexpr uint32_t kKindVad = 1, kKindSd = 2, kKindDelays = 32, kKindRxGain = 64, kKindToneFilter = 256;
constexpr uint32_t kKnownFeatures = 0x1 | 0x2 | 0x4 | 0x8 | 0x10 | 0x80 | 0x400;
constexpr uint32_t kTimeslots = 8192 + 2048;

}  // namespace

DspDriver::DspDriver() : EventDeviceDriver(kPath, 24) {
  HandleRecord(kConfigure, 20, [this](OpenFile&, Record& r) { return Configure(r); });
  HandleRecord(kEnable, 12, [this](OpenFile&, Record& r) { return Switch(r, true); });
  HandleRecord(kDisable, 12, [this](OpenFile&, Record& r) { return Switch(r, false); });
  HandleValue(kVersion, [this](OpenFile&, unsigned long) { return version_; });
  AddCommands();
}

long DspDriver::Configure(Record& r) {
  const uint32_t timeslot = r.U32(0);
  if (timeslot >= kTimeslots) {
    return -EINVAL;
  }
  Timeslot& state = timeslots_[timeslot];
  switch (r.U32(4)) {
    case kKindVad:
      state.vad = version_ == 2 ? std::vector<uint32_t>{r.U16(8), r.U16(10), r.U8(12)}
                                : std::vector<uint32_t>{r.U32(8), r.U32(12), r.U32(16)};
      return 0;
    case kKindSd:
      state.sd_configured = true;
      return 0;
    case kKindDelays:
      state.delays = {r.U32(8), r.U32(12), r.U32(16)};
      return 0;
    case kKindRxGain:
      state.rx_gain = static_cast<int8_t>(r.U8(8));
      return 0;
    case kKindToneFilter:
      state.tone_filters[r.U16(8)] = ToneFilter{r.U8(10), r.U16(12), r.U8(14)};
      return 0;
    default:
      return -EINVAL;
  }
}

long DspDriver::Switch(Record& r, bool on) {
  const uint32_t timeslot = r.U32(0);
  const uint32_t mask = r.U32(8);
  const uint32_t known = on ? kKnownFeatures : kKnownFeatures | kToneFilters;
  if (timeslot >= kTimeslots || mask == 0 || (mask & ~known) != 0 || (!on && r.U32(4) != 0)) {
    return -EINVAL;
  }
  Timeslot& state = timeslots_[timeslot];
  if (!on) {
    state.enabled &= ~mask;
    if ((mask & kToneFilters) != 0) {
      state.tone_filters.clear();
    }
    return 0;
  }
  state.enabled |= mask;
  for (uint32_t bit = 1; bit != 0; bit <<= 1) {
    if ((mask & bit) != 0) {
      state.ids[bit] = r.U32(4);
    }
  }
  return 0;
}

void DspDriver::SetVersion(long version) {
  auto lock = Board::Lock();
  version_ = version;
}

std::map<uint32_t, DspDriver::Timeslot> DspDriver::Timeslots() const {
  auto lock = Board::Lock();
  return timeslots_;
}

bool DspDriver::Report(uint32_t timeslot, uint32_t type, std::array<uint32_t, 3> payload, std::optional<uint32_t> id) {
  auto lock = Board::Lock();
  uint32_t event_id = 0;
  const auto found = timeslots_.find(timeslot);
  const uint32_t feature = type == kVadEvent ? kVad : type == kSdEvent ? kSd : type == kBssEvent ? kBss : 0;
  if (id) {
    event_id = *id;
  } else if (found != timeslots_.end() && found->second.ids.count(feature) != 0) {
    event_id = found->second.ids.at(feature);
  }
  // [timeslot|id|type|word 0|word 1|word 2]: a tone event's presence is word 1, whole.
  Record record(24);
  record.SetU32(0, timeslot).SetU32(4, event_id).SetU32(8, type);
  record.SetU32(12, payload[0]).SetU32(16, payload[1]).SetU32(20, payload[2]);
  return DeliverRaw(record.Bytes());
}

std::string DspDriver::Describe(const Timeslot& state) {
  char mask[16];
  std::snprintf(mask, sizeof mask, "0x%x", state.enabled);
  return std::string("enabled=") + mask + " filters=" + std::to_string(state.tone_filters.size());
}

void DspDriver::AddCommands() {
  // report <timeslot> <type> <word 0> [word 1] [word 2]: an event under the feature's id.
  AddCommand("report", [this](const std::vector<std::string>& args) {
    static const char* const kNames[] = {"timeslot", "type", "word 0", "word 1", "word 2"};
    ControlArgs in(args, "report <timeslot> <type> <word 0> [word 1] [word 2]", 3, 5);
    std::array<uint32_t, 5> words{};
    for (size_t i = 0; in.Left() > 0; ++i) {
      words[i] = in.Word32(kNames[i]).value_or(0);
    }
    if (in.Refused()) {
      return in.Refusal();
    }
    if (!Report(words[0], words[1], {words[2], words[3], words[4]})) {
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
