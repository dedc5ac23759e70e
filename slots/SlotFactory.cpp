#include "slots/SlotFactory.h"

#include "slots/Slot.h"

#include <algorithm>

// Zero-initialised before any constructor runs, so factories built during
// static initialisation link themselves in whatever order they come.
SlotFactory* firstFactory = nullptr;

SlotFactory::SlotFactory() : next_(firstFactory) {
  firstFactory = this;
}

SlotFactory::~SlotFactory() = default;

void SlotFactory::SelfSignal(const LGCP::Signal&) {}

std::unique_ptr<Slot> SlotFactory::NewSlot(const LGCP::CreateParams& params) {
  std::unique_ptr<Slot> slot = INewSlot(params);
  if (slot != nullptr) {
    slot->factory_ = this;
    slots_.push_back(slot.get());
  }
  return slot;
}

void SlotFactory::Remove(Slot* slot) {
  slots_.erase(std::remove(slots_.begin(), slots_.end(), slot), slots_.end());
}
