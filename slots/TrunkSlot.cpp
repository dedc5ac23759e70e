#include "slots/TrunkSlot.h"

#include "slots/TrunkFactory.h"

void TrunkSlot::IAfterCreate() {
  OnChangeOutputStream(true);
  OnChangeInputStream(true);
}

bool TrunkSlot::IBeforeDestroy() {
  owner_.ReleaseTrunkSlot(this);
  return true;
}
