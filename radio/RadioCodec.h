#pragma once

// Result codes shared by the radio packet codecs, which return 0 or a byte count on success.
enum RadioCodecResult : int {
  kRadioCodecMissing = -7,      // no record or no buffer
  kRadioCodecUnknownType = -8,  // the command identifier is not one the codec knows
  kRadioCodecShort = -9,        // the output buffer is too small or the packet is truncated
};
