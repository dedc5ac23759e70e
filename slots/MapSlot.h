#pragma once

#include "slots/Slot.h"

class MapFactory;

// A pair of optional channels on the shared inter-board buses: a transmit bus
// channel the slot sends from, and a receive bus channel that is switched
// onto it. Either side may be missing (-1). Its factory keeps every bus
// channel held by one slot at most.
class MapSlot : private Slot {
 private:
  friend class MapFactory;

  MapSlot(MapFactory& factory, int transmit, int receive) : owner_(factory), tx_(transmit), rx_(receive) {}

  // Reports the receive stream on, then the transmit stream, for the sides it has.
  void IAfterCreate() override;
  // Gives its bus channels back to the factory; a map slot always goes at once.
  bool IBeforeDestroy() override;
  bool IOnOutputStream() override { return tx_ >= 0; }
  bool IOnInputStream() override { return rx_ >= 0; }
  int IGetTransmitChannel() const override { return tx_; }
  int IGetReceiveChannel() const override { return rx_; }
  const char* GetName() const override { return "map"; }

  MapFactory& owner_;
  int tx_;
  int rx_;
};
