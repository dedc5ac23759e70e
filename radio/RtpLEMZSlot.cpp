#include "radio/RtpLEMZSlot.h"

#include <utility>

using RTPSignalling::LemzRadioControl;
using RTPSignalling::LemzRadioGWControl;
using RTPSignalling::LemzRadioWSControl;

void RtpLEMZSlot::Adopt(std::unique_ptr<LemzRadioControl> control, LemzRadioControl::Role role, bool timer) {
  control->SetNotify(this);
  control->SetTrace(false);
  control->SetRole(role);
  control->SetTimerEnable(timer);
  control_ = std::move(control);
}

RtpLEMZRadioGWSlot::RtpLEMZRadioGWSlot(int channel, const Fd& session, const rtp_connection_params& params,
                                       const rtp_ext_attach_session_params& attach, const rtp_ext_init_params& init,
                                       bool timer)
    : RtpLEMZSlot(channel, session, params, attach, init) {
  Adopt(std::make_unique<LemzRadioGWControl>(channel, attach, init), LemzRadioControl::kGatewayRole, timer);
}

RtpLEMZRadioGWSlot::RtpLEMZRadioGWSlot(int channel, const Fd& session, const rtp_connection_params& params,
                                       const rtp_ext_init_params& init)
    : RtpLEMZSlot(channel, session, params, init) {
  Adopt(std::make_unique<LemzRadioGWControl>(init), LemzRadioControl::kGatewayRole, false);
}

RtpLEMZRadioGWSlot::RtpLEMZRadioGWSlot(int channel, const Fd& session, const rtp_connection_params& params,
                                       const rtp_attach_session_params& join)
    : RtpLEMZSlot(channel, session, params, join) {
  Adopt(std::make_unique<LemzRadioGWControl>(channel, session_, join), LemzRadioControl::kGatewayRole, false);
}

RtpLEMZRadioWSSlot::RtpLEMZRadioWSSlot(int channel, const Fd& session, const rtp_connection_params& params,
                                       const rtp_ext_attach_session_params& attach, const rtp_ext_init_params& init)
    : RtpLEMZSlot(channel, session, params, attach, init) {
  Adopt(std::make_unique<LemzRadioWSControl>(channel, attach, init), LemzRadioControl::kWorkstationRole, false);
}

RtpLEMZRadioWSSlot::RtpLEMZRadioWSSlot(int channel, const Fd& session, const rtp_connection_params& params,
                                       const rtp_ext_init_params& init)
    : RtpLEMZSlot(channel, session, params, init) {
  Adopt(std::make_unique<LemzRadioWSControl>(init), LemzRadioControl::kWorkstationRole, false);
}

RtpLEMZRadioWSSlot::RtpLEMZRadioWSSlot(int channel, const Fd& session, const rtp_connection_params& params,
                                       const rtp_attach_session_params& join)
    : RtpLEMZSlot(channel, session, params, join) {
  Adopt(std::make_unique<LemzRadioWSControl>(channel, session_, join), LemzRadioControl::kWorkstationRole, false);
}
