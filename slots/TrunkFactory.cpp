#include "slots/TrunkFactory.h"

#include "slots/Slots.h"
#include "slots/TrunkSlot.h"

#include <iostream>

namespace {

constexpr unsigned kE1Timeslots = 32;
constexpr unsigned kBriChannels = 4;

}  // namespace

TrunkFactory trunk0(0, 0), trunk1(1, 32), trunk2(2, 64), trunk3(3, 96);
TrunkBRIFactory trunk_bri0(0, 0), trunk_bri1(1, 4), trunk_bri2(2, 8), trunk_bri3(3, 12), trunk_bri4(4, 16),
    trunk_bri5(5, 20), trunk_bri6(6, 24), trunk_bri7(7, 28);

TrunkFactory::TrunkFactory(unsigned trunk, int base) : trunk_(trunk), base_(base) {}

template <class Build>
std::unique_ptr<Slot> TrunkFactory::Take(const LGCP::CreateParams& params, LGCP::CreateParams::Alternative alternative,
                                         unsigned timeslots, Build build) {
  if (params.alternative() != alternative) {
    return nullptr;
  }
  const auto& trunk_params = params.selectionAs<LGCP::TrunkParams>();
  const unsigned timeslot = trunk_params.get_timeslot().getValue();
  // Another trunk's factory may match.
  if (trunk_params.get_trunk().getValue() != trunk_ || timeslot >= timeslots) {
    return nullptr;
  }
  Evict(timeslot);
  std::unique_ptr<TrunkSlot> slot = build(*this, base_ + static_cast<int>(timeslot));
  by_timeslot_[timeslot] = slot.get();
  return slot;
}

void TrunkFactory::Evict(unsigned timeslot) {
  TrunkSlot* old = by_timeslot_[timeslot];
  if (old == nullptr) {
    return;
  }
  std::cerr << "trunk-slot: two slots require the same timeslot, remove old." << std::endl;
  std::cerr << " old slot " << *old << std::endl;
  // A trunk slot always goes at once, and the controller is not told.
  (void)Slots::instance().Destroy(old);
}

std::unique_ptr<Slot> TrunkFactory::INewSlot(const LGCP::CreateParams& params) {
  return Take(params, LGCP::CreateParams::Alternative::trunk, kE1Timeslots,
              [](TrunkFactory& factory, int channel) { return std::make_unique<TrunkSlot>(factory, channel); });
}

void TrunkFactory::ReleaseTrunkSlot(TrunkSlot* slot) {
  const auto timeslot = static_cast<unsigned>(slot->GetTimeSlot());
  if (timeslot < by_timeslot_.size() && by_timeslot_[timeslot] == slot) {
    by_timeslot_[timeslot] = nullptr;
  }
}

std::unique_ptr<Slot> TrunkBRIFactory::INewSlot(const LGCP::CreateParams& params) {
  return Take(params, LGCP::CreateParams::Alternative::trunk_bri, kBriChannels, [](TrunkFactory& factory, int channel) {
    return std::unique_ptr<TrunkSlot>(std::make_unique<TrunkBRISlot>(factory, channel));
  });
}

// Named on the link line of every program that links the slots (slots/CMakeLists.txt).
extern "C" const char gw_trunk_factories = 0;
