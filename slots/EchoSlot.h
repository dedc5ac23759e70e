#pragma once

#include "slots/Slot.h"

// One channel of an echo-canceller bus: the same switch channel transmits and
// receives, and both streams are on from the start.
class EchoSlot : private Slot {
 private:
  friend class EchoFactory;

  explicit EchoSlot(int channel) : channel_(channel) {}

  // Reports the transmit stream on, then the receive stream.
  void IAfterCreate() override;
  bool IOnOutputStream() override { return true; }
  bool IOnInputStream() override { return true; }
  int IGetTransmitChannel() const override { return channel_; }
  int IGetReceiveChannel() const override { return channel_; }
  const char* GetName() const override { return "echo"; }

  int channel_;
};
