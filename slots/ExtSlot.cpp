#include "slots/ExtSlot.h"

#include "hardware/HwMux.h"

void ExtSlot::IAfterCreate() {
  OnChangeOutputStream(true);
}

bool ExtSlot::IActivate(const TERM::TermActivateParams&) {
  // Idling the output of a receive side already on would cut its source
  // while the table still shows the connection.
  if (IsInputOn()) {
    return true;
  }
  OnChangeInputStream(true);
  (void)HwMux::instance().Disconnect(rx_);
  return true;
}

bool ExtSlot::IDeactivate() {
  OnChangeInputStream(false);
  (void)HwMux::instance().Disable(rx_);
  return true;
}

bool ExtSlot::IBeforeDestroy() {
  (void)HwMux::instance().Disable(rx_);
  return true;
}
