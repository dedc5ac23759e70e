// libFuzzer target: arbitrary bytes as a LEMZ radio signalling packet.
//
// A packet that does not unpack leaves the record as it was (an unknown command stores only its identifier). One
// that unpacks packs again to its canonical form: the packet's own bytes with the padding zeroed, which unpacks to
// the same record.
#include "radio/RadioCodec.h"
#include "radio/sig_proto.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  sig_proto before;
  std::memset(&before, 0xA5, sizeof before);
  sig_proto record = before;
  const int result = sig_proto_unpack(&record, data, size);
  if (result != 0) {
    sig_proto expected = before;
    if (result == kRadioCodecUnknownType) {
      expected.type = data[0];
    } else if (result != kRadioCodecShort) {
      std::abort();
    }
    if (std::memcmp(&record, &expected, sizeof record) != 0) {
      std::abort();
    }
    return 0;
  }
  uint8_t packed[1024];
  const int length = sig_proto_pack(&record, packed, sizeof packed);
  if (length < 4) {
    std::abort();
  }
  for (size_t i = 0; i < static_cast<size_t>(length); ++i) {
    if (packed[i] != 0 && (i >= size || packed[i] != data[i])) {
      std::abort();
    }
  }
  sig_proto again = before;
  if (sig_proto_unpack(&again, packed, static_cast<size_t>(length)) != 0 ||
      std::memcmp(&again, &record, sizeof record) != 0) {
    std::abort();
  }
  return 0;
}
