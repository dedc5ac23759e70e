#pragma once

#include "radio/sig_proto.h"

#include <netinet/in.h>

#include <cstdint>

namespace RTPSignalling {

// The state of one LEMZ radio channel, flat. A fresh state holds the initial values below; the negative ones, and a
// negative frequency, mean "not configured".
struct LemzRadioState {
  int32_t command = 0;  // command identifier; 0 or negative: a default initialisation, every field counts
  int32_t priority = 15;
  uint32_t ptt = 0;
  in_addr session_addr{};  // the party that transmits
  uint32_t session_ssrc = 0;
  char caller_id[kSigProtoCallerIdSize] = {};  // zero-terminated, at most 255 bytes
  uint32_t bss = 0;
  uint32_t vad_rx = 0;
  uint32_t vad_tx = 0;
  uint32_t sql = 0;
  uint32_t sh = 0;
  uint32_t pwr = 0;
  uint32_t rv = 0;
  uint32_t resv = 0;
  uint32_t selcall = 0;
  uint32_t li = 0;
  int32_t remote_no = 0;
  int32_t remote_ch = 0;
  int32_t channel = 0;
  float frequency = 0.0f;
  int32_t squelshe = -1;                // numbering of TERM::RadioSquelshe
  int32_t rte = -1;                     // numbering of TERM::RadioRTE
  int32_t standby_state_channel = -1;   // numbering of TERM::RadioStandby
  int32_t standby_group = -1;           // 0..255
  int32_t standby_state_receiver = -1;  // numbering of TERM::RadioStandby
  float radio_quality = 0.0f;
  in_addr source_addr{};  // sender of the packet, or the addr of a modifier
  uint32_t source_ssrc = 0;
};

inline bool isPTTCommand(int command) {
  switch (command) {
    case GW_FLAG:
    case GW_FLAG_PTT:
    case GW_SEL_CALL:
    case WM_FLAG:
    case WM_TRANS:
    case WM_SEL_CALL_TRANS:
      return true;
    default:
      return false;
  }
}

inline bool isDefaultInitCommand(int command) {
  return command <= 0;
}

}  // namespace RTPSignalling
