#pragma once

#include "slots/Slot.h"

class TrunkFactory;

// One timeslot of an E1 trunk. It has no device of its own: its timeslot is a
// fixed channel of the TDM switch, used both to transmit and to receive, and
// both streams are on from the moment it exists. Connections go through the
// default switch hooks.
class TrunkSlot : public Slot {
 public:
  TrunkSlot(TrunkFactory& factory, int channel) : owner_(factory), channel_(channel) {}

  int GetTrunk() const override { return channel_ >> 5; }
  int GetTrunkTimeSlot() const override { return GetTimeSlot(); }
  // Reports both streams on, right after the create success.
  void IAfterCreate() override;
  // Frees the timeslot; a trunk slot always goes at once.
  bool IBeforeDestroy() override;
  bool IOnOutputStream() override { return true; }
  bool IOnInputStream() override { return true; }
  int IGetTransmitChannel() const override { return channel_; }
  int IGetReceiveChannel() const override { return channel_; }
  const char* GetName() const override { return "trunk"; }
  virtual int GetTimeSlot() const { return channel_ & 31; }

  int GetChannel() const { return channel_; }

 private:
  TrunkFactory& owner_;
  int channel_;
};

// One channel of a BRI trunk: four channels a trunk.
class TrunkBRISlot : public virtual TrunkSlot {
 public:
  TrunkBRISlot(TrunkFactory& factory, int channel) : TrunkSlot(factory, channel) {}

  int GetTrunk() const override { return GetChannel() >> 2; }
  int GetTrunkTimeSlot() const override { return GetTimeSlot(); }
  const char* GetName() const override { return "trunkBRI"; }
  int GetTimeSlot() const override { return GetChannel() & 3; }
};
