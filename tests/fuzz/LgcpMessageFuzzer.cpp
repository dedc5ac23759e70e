// Controller messages in aligned PER, as the controller server decodes every
// received payload: arbitrary bytes through the decode, print and encode round
// trip.
#include "tests/fuzz/LgcpRoundTrip.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  lgcp_fuzz::RoundTrip(data, size, ASN1::CoderEnv::per_Aligned);
  return 0;
}
