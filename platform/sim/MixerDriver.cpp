#include "platform/sim/MixerDriver.h"

#include "platform/sim/Board.h"
#include "platform/sim/ControlArgs.h"

#include <algorithm>
#include <cerrno>

namespace sim {
namespace {

// Requests: type 'M'. A mix_slot is three i32: unit, type, number.
constexpr unsigned long kClear = 0x800c4d02;   // mix_slot of an output
constexpr unsigned long kAdd = 0x801c4d03;     // mix_slot output, mix_slot input, i32 gain
constexpr unsigned long kRemove = 0x801c4d04;  // the same layout
constexpr unsigned long kTdm = 0x800c4d06;     // mix_slot; answers its switch channel
constexpr unsigned long kQuery = 0x80104d07;   // i32 unit, channels, 0, inputs: the unit after the given one

constexpr int32_t kTdmType = 0;

MixerDriver::Point PointAt(const Record& r, size_t offset) {
  return MixerDriver::Point{r.I32(offset), r.I32(offset + 4), r.I32(offset + 8)};
}

}  // namespace

MixerDriver::MixerDriver() : Driver(kPath) {
  units_ = {Unit{0, 32, 64}, Unit{1, 32, 64}};
  HandleRecord(kClear, 12, [this](OpenFile&, Record& r) -> long {
    const Point output = PointAt(r, 0);
    if (!IsChannel(output)) {
      return -EINVAL;
    }
    summators_.erase({output.unit, output.number});
    return 0;
  });
  HandleRecord(kAdd, 28, [this](OpenFile&, Record& r) { return Add(r); });
  HandleRecord(kRemove, 28, [this](OpenFile&, Record& r) { return Remove(r); });
  HandleRecord(kTdm, 12, [this](OpenFile&, Record& r) -> long {
    const Point point = PointAt(r, 0);
    if (!IsChannel(point)) {
      return -EINVAL;
    }
    return kFirstSwitchChannel + point.unit * kUnitStride + point.number;
  });
  HandleRecord(kQuery, 16, [this](OpenFile&, Record& r) { return Query(r); });
  AddCommands();
}

const MixerDriver::Unit* MixerDriver::FindUnit(int32_t number) const {
  for (const Unit& unit : units_) {
    if (unit.number == number) {
      return &unit;
    }
  }
  return nullptr;
}

std::optional<int32_t> MixerDriver::TakeUnit(ControlArgs& in) const {
  const std::optional<int> unit = in.Int("unit", 0, INT32_MAX);
  if (unit && FindUnit(*unit) == nullptr) {
    in.Refuse("unit", "no such unit");
    return std::nullopt;
  }
  return unit;
}

bool MixerDriver::IsChannel(const Point& point) const {
  const Unit* unit = FindUnit(point.unit);
  return unit != nullptr && point.type == kTdmType && point.number >= 0 && point.number < unit->channels;
}

long MixerDriver::Query(Record& r) const {
  const int32_t previous = r.I32(0);
  size_t next = 0;
  if (previous != -1) {
    const auto found = std::find_if(units_.begin(), units_.end(), [&](const Unit& u) { return u.number == previous; });
    if (found == units_.end()) {
      return -EINVAL;
    }
    next = static_cast<size_t>(found - units_.begin()) + 1;
  }
  if (next >= units_.size()) {
    return -ENODEV;
  }
  const Unit& unit = units_[next];
  r.SetI32(0, unit.number).SetI32(4, unit.channels).SetI32(8, 0).SetI32(12, unit.inputs);
  return 0;
}

long MixerDriver::Add(Record& r) {
  const Point output = PointAt(r, 0);
  const Point input = PointAt(r, 12);
  if (!IsChannel(output) || !IsChannel(input)) {
    return -EINVAL;
  }
  std::vector<Input>& inputs = summators_[{output.unit, output.number}];
  inputs.erase(std::remove_if(inputs.begin(), inputs.end(), [&](const Input& i) { return i.source == input; }),
               inputs.end());
  inputs.push_back(Input{input, r.I32(24)});
  return 0;
}

long MixerDriver::Remove(Record& r) {
  const Point output = PointAt(r, 0);
  const Point input = PointAt(r, 12);
  auto found = summators_.find({output.unit, output.number});
  if (!IsChannel(output) || found == summators_.end()) {
    return -EINVAL;
  }
  std::vector<Input>& inputs = found->second;
  const auto end = std::remove_if(inputs.begin(), inputs.end(), [&](const Input& i) { return i.source == input; });
  if (end == inputs.end()) {
    return -ENOENT;
  }
  inputs.erase(end, inputs.end());
  if (inputs.empty()) {
    summators_.erase(found);
  }
  return 0;
}

void MixerDriver::SetUnits(const std::vector<Unit>& units) {
  auto lock = Board::Lock();
  units_ = units;
  for (auto it = summators_.begin(); it != summators_.end();) {
    it = FindUnit(it->first.first) == nullptr ? summators_.erase(it) : std::next(it);
  }
}

std::vector<MixerDriver::Unit> MixerDriver::Units() const {
  auto lock = Board::Lock();
  return units_;
}

std::map<int32_t, std::vector<MixerDriver::Input>> MixerDriver::Summators(int32_t unit) const {
  auto lock = Board::Lock();
  std::map<int32_t, std::vector<Input>> result;
  for (const auto& entry : summators_) {
    if (entry.first.first == unit) {
      result[entry.first.second] = entry.second;
    }
  }
  return result;
}

void MixerDriver::AddCommands() {
  // summators <unit>: "<output>=<unit>:<type>:<number>*<gain>,..." for each programmed output.
  AddCommand("summators", [this](const std::vector<std::string>& args) {
    ControlArgs in(args, "summators <unit>", 1);
    const std::optional<int32_t> unit = TakeUnit(in);
    if (in.Refused()) {
      return in.Refusal();
    }
    std::string text;
    for (const auto& entry : Summators(*unit)) {
      text += (text.empty() ? "" : " ") + std::to_string(entry.first) + "=";
      for (size_t i = 0; i < entry.second.size(); ++i) {
        const Input& input = entry.second[i];
        text += (i == 0 ? "" : ",") + std::to_string(input.source.unit) + ":" + std::to_string(input.source.type) +
                ":" + std::to_string(input.source.number) + "*" + std::to_string(input.gain);
      }
    }
    return Reply{true, text};
  });
  // remove-unit <unit>: the unit is no longer reported.
  AddCommand("remove-unit", [this](const std::vector<std::string>& args) {
    ControlArgs in(args, "remove-unit <unit>", 1);
    const std::optional<int32_t> unit = TakeUnit(in);
    if (in.Refused()) {
      return in.Refusal();
    }
    std::vector<Unit> units = Units();
    units.erase(std::remove_if(units.begin(), units.end(), [&](const Unit& u) { return u.number == *unit; }),
                units.end());
    SetUnits(units);
    return Reply{true, ""};
  });
}

}  // namespace sim
