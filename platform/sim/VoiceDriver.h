#pragma once

#include "platform/sim/Driver.h"

#include <cstdint>
#include <map>

namespace sim {

// The simulated "/dev/voice" as far as the mixer resources and the RTP
// factories ask it: the driver version record and the channel count of a
// codec mask. Each RTP codec mask starts at the channels of the simulated
// "/dev/rtp", which takes every codec.
class VoiceDriver : public Driver {
 public:
  static constexpr const char* kPath = "/dev/voice";

  VoiceDriver();

  // The channels answered for a codec mask (0 for a mask of no RTP codec).
  void SetCodecChannels(uint32_t mask, long channels);

 private:
  std::map<uint32_t, long> channels_;
};

}  // namespace sim
