// libFuzzer target: the Q.931 frame logger on any frame of up to 600 octets,
// into buffers of 1024 and 64 bytes allocated to their exact size, so that
// AddressSanitizer sees any write past them. The text must end inside each.
#include "signalling/Q931FrameLog.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 600) {
    return 0;
  }
  const auto frame = std::make_unique<uint8_t[]>(size);
  if (size > 0) {
    std::memcpy(frame.get(), data, size);
  }
  for (size_t capacity : {1024, 64}) {
    const auto text = std::make_unique<char[]>(capacity);
    ISDN::dlogframe(frame.get(), static_cast<unsigned>(size), size % 2, text.get(), capacity);
    if (std::memchr(text.get(), '\0', capacity) == nullptr) {
      std::abort();
    }
  }
  return 0;
}
