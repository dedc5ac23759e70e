#pragma once

#include "radio/LemzRadioControl.h"
#include "radio/RtpExtSlot.h"

#include <memory>

// The LEMZ radio channels.
class RtpLEMZSlot : public RtpExtSlot {
 public:
  using RtpExtSlot::RtpExtSlot;
  const char* GetName() const override { return "rtp ext LEMZ"; }

 protected:
  // Takes the control this kind built: reports come to this slot, no trace, the side of the link, the timer.
  void Adopt(std::unique_ptr<RTPSignalling::LemzRadioControl> control, RTPSignalling::LemzRadioControl::Role role,
             bool timer);
};

// The gateway side of a LEMZ radio channel.
class RtpLEMZRadioGWSlot : public RtpLEMZSlot {
 public:
  // An extension session of its own, attached to the slot's RTP session; timer: periodic announcements.
  RtpLEMZRadioGWSlot(int channel, const Fd& session, const rtp_connection_params& params,
                     const rtp_ext_attach_session_params& attach, const rtp_ext_init_params& init, bool timer);
  // An extension session of its own, not attached; no announcements.
  RtpLEMZRadioGWSlot(int channel, const Fd& session, const rtp_connection_params& params,
                     const rtp_ext_init_params& init);
  // Joins the RTP session of another process, which keeps the extension traffic.
  RtpLEMZRadioGWSlot(int channel, const Fd& session, const rtp_connection_params& params,
                     const rtp_attach_session_params& join);
  const char* GetName() const override { return "rtp ext LEMZ (GW)"; }
};

// The workstation side of a LEMZ radio channel, in the same three forms: the
// controller's commands go towards a radio gateway. It makes no periodic
// announcements. No create command builds it.
class RtpLEMZRadioWSSlot : public RtpLEMZSlot {
 public:
  RtpLEMZRadioWSSlot(int channel, const Fd& session, const rtp_connection_params& params,
                     const rtp_ext_attach_session_params& attach, const rtp_ext_init_params& init);
  RtpLEMZRadioWSSlot(int channel, const Fd& session, const rtp_connection_params& params,
                     const rtp_ext_init_params& init);
  RtpLEMZRadioWSSlot(int channel, const Fd& session, const rtp_connection_params& params,
                     const rtp_attach_session_params& join);
  const char* GetName() const override { return "rtp ext LEMZ (WS)"; }
};
