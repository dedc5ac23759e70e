#pragma once

#include <cstdint>

namespace Hardware {

// The id a receiver service issues after last: ids start at 1 and never
// come back as 0, which the devices report for an event of no enable.
inline uint32_t NextReceiverId(uint32_t last) {
  const uint32_t next = last + 1;
  return next == 0 ? 1 : next;
}

}  // namespace Hardware
