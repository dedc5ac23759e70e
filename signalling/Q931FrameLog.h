#pragma once

#include <cstddef>
#include <cstdint>

namespace ISDN {

// Writes one Q.921 frame as readable text into text (at most size bytes,
// 0-terminated; what does not fit is cut and marked " ...\n"): the octets in
// hex, the direction ("network->user" when direction is not 0), the address
// and frame kind and, for Q.931 call control, the call reference, message type
// and information elements. A frame shorter than 3 octets gives an empty text.
void dlogframe(const uint8_t* frame, unsigned length, int direction, char* text, size_t size);

// Writes count characters '1' or '0' for the bits of byte from bit first
// (8 the most significant) downwards; returns count.
int printbits(char* text, uint8_t byte, int first, int count);

// The octet after the first one from octet on whose bit 8 is set; end when
// none is before end.
const uint8_t* skipext(const uint8_t* octet, const uint8_t* end);

}  // namespace ISDN
