#pragma once

#include "schemas/LGCP.h"

#include "asn1/CoderEnv.h"

#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <vector>

namespace lgcp_fuzz {

inline bool Decode(const std::vector<char>& bytes, int rule, LGCP::Message& message) {
  ASN1::CoderEnv env(rule);
  return ASN1::decode(bytes.data(), bytes.data() + bytes.size(), &env, message, true);
}

inline bool Encode(const LGCP::Message& message, int rule, std::vector<char>& bytes) {
  ASN1::CoderEnv env(rule);
  return ASN1::encode(message, &env, std::back_inserter(bytes));
}

// Decodes arbitrary bytes as a controller message in the rule's coding.
// Whatever decodes must also print, and whatever then encodes must decode again
// to an equal value and encode to the same bytes: a value the coder accepts is
// one the coder can carry. A decoded value may still fail to encode (a
// constrained number outside its range, an absent CHOICE kept at its empty
// default); that ends the round.
inline void RoundTrip(const uint8_t* data, size_t size, int rule) {
  const std::vector<char> input(data, data + size);
  LGCP::Message message;
  if (!Decode(input, rule, message)) {
    return;
  }
  static_cast<void>(message.asValueNotation());
  std::vector<char> encoded;
  if (!Encode(message, rule, encoded)) {
    return;
  }
  LGCP::Message again;
  std::vector<char> reencoded;
  if (!Decode(encoded, rule, again) || again.compare(message) != 0 || !Encode(again, rule, reencoded) ||
      reencoded != encoded) {
    std::abort();
  }
}

}  // namespace lgcp_fuzz
