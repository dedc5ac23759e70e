#pragma once

#include "runtime/loop/Event.h"
#include "slots/MccFactory.h"
#include "slots/Slot.h"

#include <cstdint>

// A raw data channel of the MCC controller on the TDM switch: what the channel
// receives goes to the controller as user data signals, and user data
// commands are written to it. Its switch channel transmits and receives. The
// slot owns the channel's descriptor through its loop registration, so
// destroying the slot frees the channel. A channel the device hangs up is lost:
// the slot cuts its connections, reports itself deactivated and refuses user
// data until the controller destroys it.
class MccSlot : private Slot {
 private:
  friend class MccFactory;

  MccSlot(MccFactory& factory, const MccFactory::Channel& channel);

  // One frame; false when the channel is lost or refuses it. A channel that
  // pushes back is answered insufficientResources: busy, try again.
  bool IUserData(const std::vector<char>& bytes) override;
  bool IOnOutputStream() override { return true; }
  bool IOnInputStream() override { return true; }
  int IGetTransmitChannel() const override { return channel_; }
  int IGetReceiveChannel() const override { return channel_; }
  const char* GetName() const override { return "MCC"; }

  void OnEvent(int fd, short revents);
  void ReceivePass();
  // The device hung up: the driver frees the channel, and the next MCC slot may
  // be given its switch channel, so no path may name it any more.
  void LoseChannel();

  MccFactory& owner_;
  int channel_;
  Event event_;
};
