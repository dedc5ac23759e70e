#include "radio/RtpED137Slot.h"

RtpED137RadioGWSlot::RtpED137RadioGWSlot(int channel, const Fd& session, const rtp_connection_params& params,
                                         const rtp_ext_init_params& init, const RTPSignalling::ED137RadioParams& radio)
    : RtpED137Slot(channel, session, params) {
  auto control = std::make_unique<RTPSignalling::ED137RadioGWControl>(
      channel, rtp_ext_attach_session_params{session_.get(), -1}, init);
  control->SetNotify(this);
  control->SetTrace(false);
  control->SetParams(radio);
  control->SetTimerInterval(radio.SupervisionTime() / 2);
  control->SetTimerEnable(true);
  squ_enable_ = radio.transmission_depend_on_squ;
  control_ = std::move(control);
}

RtpED137RadioGWSlot::~RtpED137RadioGWSlot() {
  control_->SetNotify(nullptr);
  control_->SetTimerEnable(false);
  control_.reset();
}
