#pragma once

#include "radio/LemzRadioState.h"
#include "radio/sig_proto.h"
#include "schemas/TERM.h"

namespace RTPSignalling {

// The LEMZ radio control. These operations translate between received packets, radio states and the controller's
// messages; they use no member data.
class LemzRadioControl {
 public:
  // 0; -1 when the type carries no body the state knows (the header fields are filled all the same).
  static int DecodeProto(const sig_proto& packet, LemzRadioState& state);
  // The request's status becomes the lemz status of `radio`.
  static void EncodeStatusASN(const LemzRadioState& radio, TERM::RtpRadioRequest& request);
  // The status from `radio` and the included request, a lemz modifier, from `packet` and its command.
  static void EncodeASN(const LemzRadioState& radio, const LemzRadioState& packet, TERM::RtpRadioRequest& request);
  // Update `state` in place: fields the message does not carry keep their values.
  static void DecodeASN(const TERM::LemzRadioModifier& modifier, LemzRadioState& state);
  static int DecodeASN(const TERM::LemzRadioStatus& status, LemzRadioState& state);

  // The body field of a received packet that the controller's messages cannot carry (a squelch above 103, an
  // emission type above 7, a standby byte other than 0 or 1, a caller-ID byte outside IA5), or null when the
  // packet can be reported. The receive path refuses such a packet instead of sending a report that cannot encode.
  static const char* FindUnreportableField(const sig_proto& packet);
  // The status field of `radio` that cannot be encoded (a "not configured" -1: the coder writes no negative
  // enumeration value), or null.
  static const char* FindUnreportableField(const LemzRadioState& radio);
};

}  // namespace RTPSignalling
