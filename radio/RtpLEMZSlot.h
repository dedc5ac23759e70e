#pragma once

#include "radio/LemzRadioControl.h"
#include "radio/RtpExtSlot.h"

// The LEMZ radio channels.
class RtpLEMZSlot : public RtpExtSlot {
 public:
  using RtpExtSlot::RtpExtSlot;
  const char* GetName() const override { return "rtp ext LEMZ"; }
};

// The gateway side of a LEMZ radio channel.
class RtpLEMZRadioGWSlot : public RtpLEMZSlot {
 public:
  // An extension session of its own, attached to the slot's RTP session; timer: periodic announcements.
  RtpLEMZRadioGWSlot(int channel, const Fd& session, const rtp_connection_params& params,
                     const rtp_ext_attach_session_params& attach, const rtp_ext_init_params& init, bool timer);
  // Joins the RTP session of another process, which keeps the extension traffic.
  RtpLEMZRadioGWSlot(int channel, const Fd& session, const rtp_connection_params& params,
                     const rtp_attach_session_params& join);
  const char* GetName() const override { return "rtp ext LEMZ (GW)"; }

 private:
  void Adopt(std::unique_ptr<RTPSignalling::LemzRadioGWControl> control, bool timer);
};
