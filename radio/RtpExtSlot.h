#pragma once

#include "radio/RadioControl.h"
#include "rtp/RtpSlot.h"
#include "schemas/TERM.h"

#include <memory>

// An RTP voice slot that carries a radio channel: its radio control exchanges
// the radio signalling with the far end, takes the controller's radio status
// and rtpExt ioctls, and reports back as rtpExt and abort signals. With
// squ_enable_ the radio squelch opens and closes the input direction.
class RtpExtSlot : public RtpSlot, public RTPSignalling::IRadioControlNotify {
 public:
  // One form for each way a control joins the RTP stream: an extension
  // session of its own attached to the slot's session, one not attached, or
  // the join of another process's session. The records are for the control
  // the subclass builds; this part keeps none of them.
  RtpExtSlot(int channel, const Fd& session, const rtp_connection_params& params,
             const rtp_ext_attach_session_params& attach, const rtp_ext_init_params& init);
  RtpExtSlot(int channel, const Fd& session, const rtp_connection_params& params, const rtp_ext_init_params& init);
  RtpExtSlot(int channel, const Fd& session, const rtp_connection_params& params,
             const rtp_attach_session_params& join);

  void IAfterCreate() override;
  bool IBeforeDestroy() override;
  bool Ioctl(const LGCP::IoctlParams& params) override;
  const char* GetName() const override { return "rtp ext"; }

  void RadioControlNotify(const TERM::RtpRadioRequest& request) override { OnRtpRadioEvent(request); }
  void RadioControlNotify(int cause) override { OnAbort(cause); }

  // The radio status of the create command, sent to the radio side once the
  // controller has seen the slot created.
  void SetRadioStatus(const TERM::RadioStatus& status) { radio_status_ = status; }
  // The delays, BSS, noise gate and selective-call squelch of the request.
  void ConfigureRadioDsp(const TERM::RtpRadioRequest& radio);
  RTPSignalling::RadioControl* control() const { return control_.get(); }

 protected:
  // Opens or closes the input direction to follow the squelch.
  void GateInput();

  TERM::RadioStatus radio_status_;
  std::unique_ptr<RTPSignalling::RadioControl> control_;
};
