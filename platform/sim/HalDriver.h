#pragma once

#include "platform/sim/Driver.h"
#include "platform/sim/History.h"
#include "platform/sim/LineChips.h"
#include "platform/sim/TdmSwitch.h"

#include <optional>
#include <vector>

namespace sim {

// The simulated "/dev/hal": the TDM switch, the SPI bus of the line chips and
// the clock select of the TDM buses.
class HalDriver : public Driver {
 public:
  static constexpr const char* kPath = "/dev/hal";

  HalDriver();

  TdmSwitch& Switch() { return switch_; }
  LineChips& Chips() { return chips_; }
  // Every clock source selected, oldest first.
  std::vector<int> ClockSelections() const;

 private:
  void AddSwitchCommands();
  void AddChipCommands();

  TdmSwitch switch_;
  LineChips chips_;
  History<int> clock_selections_;
};

}  // namespace sim
