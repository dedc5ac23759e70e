// libFuzzer target: arbitrary records (any words, any feature count) into the
// R2S packer with an arbitrary buffer size. The result must be one of the
// codec's codes and no byte past the given size may be touched.
#include "radio/R2sProto.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) {
    return 0;
  }
  const size_t buffer_size = data[0];
  r2s_proto proto{};
  std::memcpy(&proto, data + 1, size - 1 < sizeof proto ? size - 1 : sizeof proto);
  uint8_t buffer[300];
  std::memset(buffer, 0xa5, sizeof buffer);
  const int result = r2s_proto_pack(&proto, buffer, buffer_size);
  if (result > static_cast<int>(buffer_size) || result == 0 ||
      (result < 0 && result != kR2sUnknownType && result != kR2sTruncated)) {
    std::abort();
  }
  for (size_t i = buffer_size; i < sizeof buffer; ++i) {
    if (buffer[i] != 0xa5) {
      std::abort();
    }
  }
  return 0;
}
