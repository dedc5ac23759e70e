#include "signalling/Q931FrameLog.h"

#include <algorithm>
#include <cstdio>

namespace ISDN {

void dlogframe(const uint8_t* frame, unsigned length, int direction, char* text, size_t size) {
  if (size == 0) {
    return;
  }
  text[0] = '\0';
  if (length < 3) {
    return;
  }
  size_t used = 0;
  // snprintf cuts at the end of the buffer; once full, nothing more is added.
  auto add = [&](const char* format, auto... args) {
    if (used + 1 >= size) {
      return;
    }
    const int n = std::snprintf(text + used, size - used, format, args...);
    used = n < 0 ? used : std::min(size - 1, used + static_cast<size_t>(n));
  };
  for (unsigned i = 0; i < length; ++i) {
    add(" %02X", unsigned{frame[i]});
  }
  add("%s", "\n");
  add("frame %s ", direction != 0 ? "network->user" : "user->network");
}

}  // namespace ISDN
