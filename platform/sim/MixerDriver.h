#pragma once

#include "platform/sim/Driver.h"

#include <cstdint>
#include <map>
#include <optional>
#include <utility>
#include <vector>

namespace sim {

class ControlArgs;

// The simulated "/dev/mixer": the conference mixer units. Each unit has its
// TDM channels, each with a summator that adds chosen inputs with a gain, and
// a count of mixer inputs; a channel is reached on the TDM switch at a fixed
// switch channel. A test sets the units (and makes one vanish) and reads the
// summators as programmed.
class MixerDriver : public Driver {
 public:
  static constexpr const char* kPath = "/dev/mixer";
  // Switch channel of unit u, channel n: kFirstSwitchChannel + u * kUnitStride + n.
  static constexpr int kFirstSwitchChannel = 1024;
  static constexpr int kUnitStride = 128;

  struct Unit {
    int32_t number;
    int32_t channels;  // at most kUnitStride
    int32_t inputs;
  };
  // A mix_slot: unit, type (0 = TDM channel), number.
  struct Point {
    int32_t unit, type, number;
    bool operator==(const Point& other) const {
      return unit == other.unit && type == other.type && number == other.number;
    }
  };
  struct Input {
    Point source;
    int32_t gain;
  };

  MixerDriver();

  // Replaces the units, in the order the driver reports them; summators of
  // units that stay are kept.
  void SetUnits(const std::vector<Unit>& units);
  std::vector<Unit> Units() const;
  // The inputs of each programmed output of a unit, by output channel; an
  // output whose summator is clear is absent.
  std::map<int32_t, std::vector<Input>> Summators(int32_t unit) const;

 private:
  const Unit* FindUnit(int32_t number) const;
  // A unit the driver reports, as a control command names it.
  std::optional<int32_t> TakeUnit(ControlArgs& in) const;
  bool IsChannel(const Point& point) const;
  long Query(Record& record) const;
  long Add(Record& record);
  long Remove(Record& record);
  void AddCommands();

  std::vector<Unit> units_;
  std::map<std::pair<int32_t, int32_t>, std::vector<Input>> summators_;
};

}  // namespace sim
