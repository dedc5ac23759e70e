// libFuzzer target: packing an arbitrary LEMZ record into a buffer of arbitrary size.
//
// The first two bytes give the buffer size, the rest fill the record. Packing never writes past the buffer (it is
// allocated to the exact size, so the sanitizer sees any overrun) and reports at most its size. A packed command
// identifier below 256 unpacks (or is unknown), and what unpacks packs again to the same bytes.
#include "radio/RadioCodec.h"
#include "radio/sig_proto.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) {
    return 0;
  }
  const size_t buffer_size = (size_t{data[0]} << 8 | data[1]) % 300;
  sig_proto record{};
  std::memcpy(&record, data + 2, std::min(size - 2, sizeof record));
  const auto buffer = std::make_unique<uint8_t[]>(buffer_size);
  const int length = sig_proto_pack(&record, buffer.get(), buffer_size);
  if (length > static_cast<int>(buffer_size)) {
    std::abort();
  }
  if (length <= 0) {
    return 0;
  }
  sig_proto again{};
  const int result = sig_proto_unpack(&again, buffer.get(), static_cast<size_t>(length));
  if (record.type < 256 && result != 0 && result != kRadioCodecUnknownType) {
    std::abort();
  }
  uint8_t repacked[1024];
  if (result == 0 && (sig_proto_pack(&again, repacked, sizeof repacked) != length ||
                      std::memcmp(repacked, buffer.get(), static_cast<size_t>(length)) != 0)) {
    std::abort();
  }
  return 0;
}
