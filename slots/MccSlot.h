#pragma once

#include "runtime/loop/Event.h"
#include "slots/MccFactory.h"
#include "slots/Slot.h"

#include <cstdint>

// A raw data channel of the MCC controller on the TDM switch: what the channel
// receives goes to the controller as user data signals, and user data
// commands are written to it. Its switch channel transmits and receives. The
// slot owns the channel's descriptor through its loop registration, so
// destroying the slot frees the channel. A channel the device hangs up is let
// go at once and allocated again at the next user data.
class MccSlot : private Slot {
 private:
  friend class MccFactory;

  MccSlot(MccFactory& factory, uint32_t type, const MccFactory::Channel& channel);

  // One frame; false when the channel cannot be had or refuses it (it pushes back).
  bool IUserData(const std::vector<char>& bytes) override;
  bool IOnOutputStream() override { return true; }
  bool IOnInputStream() override { return true; }
  int IGetTransmitChannel() const override { return channel_; }
  int IGetReceiveChannel() const override { return channel_; }
  const char* GetName() const override { return "MCC"; }

  void OnEvent(int fd, short revents);
  void ReceivePass();
  // Allocates the channel again after a hang-up; false when the device
  // refuses or the switch channel it gives is not the slot's.
  [[nodiscard]] bool Reopen();

  MccFactory& owner_;
  uint32_t type_;
  int channel_;
  Event event_;
};
