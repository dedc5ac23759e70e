#pragma once

#include "slots/SlotFactory.h"

#include <array>

class TrunkSlot;

// Builds the slots of one E1 trunk, one per timeslot, and makes sure a
// timeslot is held by at most one slot: a create on a taken timeslot destroys
// the slot that held it. The trunk's timeslot 0 is switch channel base.
class TrunkFactory : public SlotFactory {
 public:
  TrunkFactory(unsigned trunk, int base);

  const char* GetName() const override { return "Trunks"; }
  std::unique_ptr<Slot> INewSlot(const LGCP::CreateParams& params) override;
  void Query(LGCP::Resources&) override {}
  // Frees the slot's timeslot.
  virtual void ReleaseTrunkSlot(TrunkSlot* slot);

  unsigned trunk() const { return trunk_; }
  // The slot holding the timeslot; null when it is free.
  TrunkSlot* SlotOn(unsigned timeslot) const {
    return timeslot < by_timeslot_.size() ? by_timeslot_[timeslot] : nullptr;
  }

 protected:
  // A slot of alternative `alternative` on one of the first `timeslots`
  // timeslots of this trunk, built by `build` on its channel.
  template <class Build>
  std::unique_ptr<Slot> Take(const LGCP::CreateParams& params, LGCP::CreateParams::Alternative alternative,
                             unsigned timeslots, Build build);

 private:
  // Destroys the slot that holds the timeslot, if any.
  void Evict(unsigned timeslot);

  std::array<TrunkSlot*, 32> by_timeslot_{};
  unsigned trunk_;
  int base_;
};

// The slots of one BRI trunk: four channels, the same switch channels as the
// first E1 trunk (a board has one kind of line or the other).
class TrunkBRIFactory : public virtual TrunkFactory {
 public:
  TrunkBRIFactory(unsigned trunk, int base) : TrunkFactory(trunk, base) {}

  const char* GetName() const override { return "TrunksBRI"; }
  std::unique_ptr<Slot> INewSlot(const LGCP::CreateParams& params) override;
};

// Built before main, so they are the oldest factories and asked last.
extern TrunkFactory trunk0, trunk1, trunk2, trunk3;
extern TrunkBRIFactory trunk_bri0, trunk_bri1, trunk_bri2, trunk_bri3, trunk_bri4, trunk_bri5, trunk_bri6, trunk_bri7;
