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
    message.include_seq().setValue(*seq);
  }
  if (slot) {
    message.include_slot() = *slot;
  }
  return message;
}

}  // namespace test_support
