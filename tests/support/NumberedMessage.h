#pragma once

#include "asn1/CoderEnv.h"
#include "schemas/LGCP.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <optional>
#include <vector>

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

// The message in aligned PER, as the controller link carries it.
inline std::vector<uint8_t> Encode(const LGCP::Message& message) {
  std::vector<char> bytes;
  ASN1::CoderEnv env(ASN1::CoderEnv::per_Aligned);
  EXPECT_TRUE(ASN1::encode(message, &env, std::back_inserter(bytes))) << message.asValueNotation();
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

// Reads a whole payload into message; false when it does not decode.
inline bool Decode(const std::vector<uint8_t>& payload, LGCP::Message& message) {
  ASN1::CoderEnv env(ASN1::CoderEnv::per_Aligned);
  const char* begin = reinterpret_cast<const char*>(payload.data());
  return ASN1::decode(begin, begin + payload.size(), &env, message, true);
}

// RFC 1006: version 3, a reserved octet, the length of the frame with its four-octet header, big-endian.
// Sized first: GCC at -O3 misreads the growing of a short vector from an initialiser list.
inline std::vector<uint8_t> TpktFrame(const std::vector<uint8_t>& payload) {
  std::vector<uint8_t> frame(payload.size() + 4);
  frame[0] = 3;
  frame[2] = static_cast<uint8_t>(frame.size() >> 8);
  frame[3] = static_cast<uint8_t>(frame.size());
  std::copy(payload.begin(), payload.end(), frame.begin() + 4);
  return frame;
}

// Takes the payload of the first whole frame out of what was received; nothing while the frame is incomplete.
inline std::optional<std::vector<uint8_t>> TakeTpktPayload(std::vector<uint8_t>& received) {
  if (received.size() < 4) {
    return std::nullopt;
  }
  const size_t length = size_t{received[2]} << 8 | received[3];
  EXPECT_EQ(received[0], 3) << "TPKT version";
  EXPECT_GE(length, 4u);
  if (length < 4 || received.size() < length) {
    return std::nullopt;
  }
  std::vector<uint8_t> payload(received.begin() + 4, received.begin() + static_cast<std::ptrdiff_t>(length));
  received.erase(received.begin(), received.begin() + static_cast<std::ptrdiff_t>(length));
  return payload;
}

}  // namespace test_support
