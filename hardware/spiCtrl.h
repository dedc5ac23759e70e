#pragma once

#include "hardware/SpiLineChips.h"
#include "runtime/loop/Timer.h"
#include "server/CtrlSrv.h"

// The line chips as a service of the controller link: while a controller is
// connected it reports the status of every line chip once a second as a
// trunkStatus signal, and it lends the clock-master choice to the clock
// control. It owns the chips (opened and initialised at construction) and its
// status timer; it takes no command.
class spiCtrl : public CtrlSrv::Service {
 public:
  static constexpr unsigned kStatusPeriodMs = 1000;

  static spiCtrl& instance();

  spiCtrl() = default;

  // Arms the status cycle when the chips are open and present.
  void OnConnect() override;
  void OnDisconnect() override;
  bool OnCommand(const LGCP::Command& command) override;

  // Makes one channel (0 to 7) the clock master, or none with -1.
  void clock(int channel);
  // One status pass over the eight channels, then the next one is armed.
  void status();

  bool IsPolling() const { return status_timer_.get() != nullptr; }

 private:
  // A chip request that finds SPI absent ends the cycle for good.
  void StopWhenAbsent();

  SpiLineChips chips_;
  // Declared after the chips, so that the cycle stops before they are switched off.
  Timer status_timer_;
};
