// libFuzzer target: arbitrary bytes into both R2S unpackers. A result must be
// one of the codec's codes with at most 16 features, and re-packing what
// unpacked must give back the same header and feature words.
#include "radio/R2sProto.h"

#include <cstdlib>
#include <cstring>

namespace {

void Check(const uint8_t* data, size_t size, bool rx) {
  r2s_proto proto;
  r2s_proto_init(&proto, 0);
  const int result = rx ? r2s_proto_unpack_rx(&proto, data, size) : r2s_proto_unpack_tx(&proto, data, size);
  if ((result != 0 && result != kR2sTruncated) || proto.feature_count > kR2sMaxFeatures) {
    std::abort();
  }
  if (result != 0) {
    return;
  }
  uint8_t packed[1024];
  const int length = r2s_proto_pack(&proto, packed, sizeof packed);
  if (length < 2) {
    std::abort();
  }
  r2s_proto again;
  r2s_proto_init(&again, 0);
  const int back = rx ? r2s_proto_unpack_rx(&again, packed, static_cast<size_t>(length))
                      : r2s_proto_unpack_tx(&again, packed, static_cast<size_t>(length));
  if (back != 0 || std::memcmp(proto.header, again.header, sizeof proto.header) != 0 ||
      proto.feature_count != again.feature_count ||
      std::memcmp(proto.features, again.features, proto.feature_count * sizeof(r2s_proto_feature)) != 0) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Check(data, size, true);
  Check(data, size, false);
  return 0;
}
