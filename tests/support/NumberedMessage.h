#pragma once

#include "schemas/LGCP.h"

#include <cstdint>
#include <optional>

namespace test_support {

// An LGCP message carrying the given sequence and slot numbers, each left absent when empty; the caller picks its
// PDU.
inline LGCP::Message NumberedMessage(std::optional<int32_t> seq, std::optional<unsigned> slot) {
  LGCP::Message message;
  if (seq) {
    message.includeOptionalField(0, 0);
    message.set_seq(*seq);
  }
  if (slot) {
    message.includeOptionalField(1, 1);
    message.set_slot(*slot);
  }
  return message;
}

}  // namespace test_support
