#pragma once

#include "runtime/loop/ChildWait.h"
#include "slots/Slot.h"

#include <ostream>

class T38SoftFactory;

// A fax relay between the TDM switch and an IP peer, run by the T.38 program
// as a child on an MCC channel. The child holds the channel; the slot keeps
// only its switch channel, on which it transmits and receives. The child's end
// is reported as an abort with the raw wait status; the slot stays until the
// controller destroys it.
class T38SoftSlot : public Slot {
 public:
  T38SoftSlot(T38SoftFactory& factory, int pid, int channel);

  void PutHeader(std::ostream& os) const;
  T38SoftFactory& GetSlotFactory() const { return factory_; }

 private:
  void IAfterCreate() override;
  bool IBeforeDestroy() override;
  bool IOnOutputStream() override { return true; }
  bool IOnInputStream() override { return true; }
  int IGetTransmitChannel() const override { return channel_; }
  int IGetReceiveChannel() const override { return channel_; }
  const char* GetName() const override { return "t38 soft"; }

  void OnT38Terminate(int status);

  T38SoftFactory& factory_;
  int pid_;
  int channel_;
  ChildWait wait_;
};
