#pragma once

#include "slots/Slot.h"

// A raw transmit and receive channel pair of the switch, given by number. It
// offers its transmit channel from the start; its receive side is switched on
// by activate (idle until connected) and off by deactivate, so it can be a
// listener only while activated.
class ExtSlot : private Slot {
 private:
  friend class ExtFactory;

  ExtSlot(int transmit, int receive) : tx_(transmit), rx_(receive) {}

  // Reports the transmit stream on.
  void IAfterCreate() override;
  bool IActivate(const TERM::TermActivateParams& params) override;
  bool IDeactivate() override;
  bool IBeforeDestroy() override;
  bool IOnOutputStream() override { return true; }
  bool IOnInputStream() override { return IsInputOn(); }
  int IGetTransmitChannel() const override { return tx_; }
  int IGetReceiveChannel() const override { return rx_; }
  const char* GetName() const override { return "bri"; }

  int tx_;
  int rx_;
};
