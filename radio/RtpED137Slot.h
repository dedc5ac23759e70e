#pragma once

#include "radio/ED137RadioControl.h"
#include "radio/RtpExtSlot.h"

// The ED-137 radio channels.
class RtpED137Slot : public RtpExtSlot {
 public:
  using RtpExtSlot::RtpExtSlot;
  const char* GetName() const override { return "rtp ext ed137"; }
};

// The gateway side of an ED-137 radio channel. Its control's extension
// session attaches to the slot's own RTP session.
class RtpED137RadioGWSlot : public RtpED137Slot {
 public:
  RtpED137RadioGWSlot(int channel, const Fd& session, const rtp_connection_params& params,
                      const rtp_ext_init_params& init, const RTPSignalling::ED137RadioParams& radio);
  ~RtpED137RadioGWSlot() override;
  const char* GetName() const override { return "rtp ext ED137 (GW)"; }
};
