#pragma once

#include <cstddef>
#include <cstdint>

namespace ISDN {

// Writes one Q.921 frame as readable text into text (at most size bytes,
// 0-terminated): the octets in hex, then the direction, "network->user" when
// direction is not 0. A frame shorter than 3 octets gives an empty text.
void dlogframe(const uint8_t* frame, unsigned length, int direction, char* text, size_t size);

}  // namespace ISDN
