#include "radio/RtpED137Slot.h"

#include <utility>

using RTPSignalling::ED137RadioGWControl;

RtpED137RadioGWSlot::RtpED137RadioGWSlot(int channel, const Fd& session, const rtp_connection_params& params,
                                         const rtp_ext_attach_session_params& attach, const rtp_ext_init_params& init,
                                         const RTPSignalling::ED137RadioParams& radio)
    : RtpED137Slot(channel, session, params, attach, init) {
  auto control = std::make_unique<ED137RadioGWControl>(channel, attach, init);
  control->SetParams(radio);
  Adopt(std::move(control));
  control_->SetTimerInterval(radio.SupervisionTime() / 2);
  control_->SetTimerEnable(true);
  squ_enable_ = radio.transmission_depend_on_squ;
}

RtpED137RadioGWSlot::RtpED137RadioGWSlot(int channel, const Fd& session, const rtp_connection_params& params,
                                         const rtp_ext_init_params& init)
    : RtpED137Slot(channel, session, params, init) {
  Adopt(std::make_unique<ED137RadioGWControl>(init));
}

RtpED137RadioGWSlot::RtpED137RadioGWSlot(int channel, const Fd& session, const rtp_connection_params& params,
                                         const rtp_attach_session_params& join)
    : RtpED137Slot(channel, session, params, join) {
  Adopt(std::make_unique<ED137RadioGWControl>(channel, session_, join));
}

RtpED137RadioGWSlot::~RtpED137RadioGWSlot() {
  control_->SetNotify(nullptr);
  control_->SetTimerEnable(false);
  control_.reset();
}

void RtpED137RadioGWSlot::Adopt(std::unique_ptr<ED137RadioGWControl> control) {
  control->SetNotify(this);
  control->SetTrace(false);
  control_ = std::move(control);
}
