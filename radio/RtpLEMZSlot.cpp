#include "radio/RtpLEMZSlot.h"

RtpLEMZRadioGWSlot::RtpLEMZRadioGWSlot(int channel, const Fd& session, const rtp_connection_params& params,
                                       const rtp_ext_attach_session_params& attach, const rtp_ext_init_params& init,
                                       bool timer)
    : RtpLEMZSlot(channel, session, params) {
  Adopt(std::make_unique<RTPSignalling::LemzRadioGWControl>(channel, attach, init), timer);
}

RtpLEMZRadioGWSlot::RtpLEMZRadioGWSlot(int channel, const Fd& session, const rtp_connection_params& params,
                                       const rtp_attach_session_params& join)
    : RtpLEMZSlot(channel, session, params) {
  Adopt(std::make_unique<RTPSignalling::LemzRadioGWControl>(channel, session_, join), false);
}

void RtpLEMZRadioGWSlot::Adopt(std::unique_ptr<RTPSignalling::LemzRadioGWControl> control, bool timer) {
  control->SetNotify(this);
  control->SetTrace(false);
  control->SetRole(RTPSignalling::LemzRadioControl::kGatewayRole);
  control->SetTimerEnable(timer);
  control_ = std::move(control);
}
