#pragma once

#include "runtime/net/Fd.h"
#include "server/CtrlSrv.h"

#include <ostream>

class spiCtrl;

// Chooses the clock source of the TDM buses through "/dev/hal": as the
// controller's clockCfg asks, and free run whenever a controller comes or
// goes. Clock control can be switched off for the whole run, and the device
// is then never opened. It owns its own descriptor of the HAL device.
class BusCtl : public CtrlSrv::Service {
 public:
  static BusCtl& instance();

  // When the HAL device cannot be opened, the line chips are told to give up
  // their clock master.
  explicit BusCtl(spiCtrl& spi) : spi_(spi) {}

  void OnConnect() override;
  void OnDisconnect() override;
  // Takes clockCfg only.
  bool OnCommand(const LGCP::Command& command) override;

  void DisableControl();
  // False when the device could not be opened or refused the selection.
  [[nodiscard]] bool SetClockSrc(const LGCP::ClockCfg& config);
  // Free run.
  void SetDefaultClock();
  void PutHeader(std::ostream& os) const;

 private:
  // The device is open; false when it refuses.
  [[nodiscard]] bool DrvSetClkSrc(int source);
  // Opens the device unless it is open or control is off; a failure is retried at the next use.
  bool IsOpen();

  spiCtrl& spi_;
  Fd fd_;
  bool enabled_ = true;
};
