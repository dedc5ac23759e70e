#pragma once

#include "radio/ED137RadioControl.h"
#include "radio/RtpExtSlot.h"

#include <memory>

// The ED-137 radio channels.
class RtpED137Slot : public RtpExtSlot {
 public:
  using RtpExtSlot::RtpExtSlot;
  const char* GetName() const override { return "rtp ext ed137"; }
};

// The gateway side of an ED-137 radio channel.
class RtpED137RadioGWSlot : public RtpED137Slot {
 public:
  // An extension session of its own, attached to the slot's RTP session, kept
  // alive and supervised with the radio's parameters; with
  // transmission-depend-on-squ the squelch opens the RTP input.
  RtpED137RadioGWSlot(int channel, const Fd& session, const rtp_connection_params& params,
                      const rtp_ext_attach_session_params& attach, const rtp_ext_init_params& init,
                      const RTPSignalling::ED137RadioParams& radio);
  // An extension session of its own, not attached; no status timer.
  RtpED137RadioGWSlot(int channel, const Fd& session, const rtp_connection_params& params,
                      const rtp_ext_init_params& init);
  // Joins the RTP session of another process; no status timer.
  RtpED137RadioGWSlot(int channel, const Fd& session, const rtp_connection_params& params,
                      const rtp_attach_session_params& join);
  ~RtpED137RadioGWSlot() override;
  const char* GetName() const override { return "rtp ext ED137 (GW)"; }

 private:
  // Takes the control this slot built: reports come to this slot, no trace.
  void Adopt(std::unique_ptr<RTPSignalling::ED137RadioGWControl> control);
};
