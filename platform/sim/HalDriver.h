#pragma once

#include "platform/sim/Driver.h"
#include "platform/sim/History.h"
#include "platform/sim/LineChips.h"
#include "platform/sim/TdmSwitch.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace sim {

// The simulated "/dev/hal": the TDM switch, the SPI bus of the line chips, the
// clock select of the TDM buses, and the board's one-byte registers: the DIP
// switches and the power supply state (read) and the framer LEDs (written).
class HalDriver : public Driver {
 public:
  static constexpr const char* kPath = "/dev/hal";

  HalDriver();

  TdmSwitch& Switch() { return switch_; }
  LineChips& Chips() { return chips_; }
  // Every clock source selected, oldest first.
  std::vector<int> ClockSelections() const;
  // What the DIP switch and power supply reads give from now on.
  void SetDip(uint8_t value);
  void SetPower(uint8_t value);
  // Every framer LED byte written, oldest first.
  std::vector<uint8_t> LedWrites() const;

 private:
  void AddSwitchCommands();
  void AddChipCommands();
  void AddRegisterCommands();

  TdmSwitch switch_;
  LineChips chips_;
  History<int> clock_selections_;
  uint8_t dip_ = 0;
  uint8_t power_ = 0;
  History<uint8_t> led_writes_;
};

}  // namespace sim
