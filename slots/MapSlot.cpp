#include "slots/MapSlot.h"

#include "slots/MapFactory.h"

void MapSlot::IAfterCreate() {
  if (rx_ >= 0) {
    OnChangeInputStream(true);
  }
  if (tx_ >= 0) {
    OnChangeOutputStream(true);
  }
}

bool MapSlot::IBeforeDestroy() {
  owner_.ReleaseMapSlot(this);
  return true;
}
