// Controller messages in BER: arbitrary bytes through the decode, print and
// encode round trip; nothing may be read outside the input.
#include "tests/fuzz/LgcpRoundTrip.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  lgcp_fuzz::RoundTrip(data, size, ASN1::CoderEnv::ber);
  return 0;
}
