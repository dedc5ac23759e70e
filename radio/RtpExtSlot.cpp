#include "radio/RtpExtSlot.h"

#include "platform/Device.h"
#include "platform/RtpRecords.h"

RtpExtSlot::RtpExtSlot(int channel, const Fd& session, const rtp_connection_params& params,
                       const rtp_ext_attach_session_params&, const rtp_ext_init_params&)
    : RtpSlot(channel, session, params) {}

RtpExtSlot::RtpExtSlot(int channel, const Fd& session, const rtp_connection_params& params, const rtp_ext_init_params&)
    : RtpSlot(channel, session, params) {}

RtpExtSlot::RtpExtSlot(int channel, const Fd& session, const rtp_connection_params& params,
                       const rtp_attach_session_params&)
    : RtpSlot(channel, session, params) {}

void RtpExtSlot::IAfterCreate() {
  RtpSlot::IAfterCreate();
  if (control_) {
    static_cast<void>(control_->SendASNToChan(radio_status_));
    // The create status may already open the squelch.
    GateInput();
  }
}

bool RtpExtSlot::IBeforeDestroy() {
  if (control_) {
    control_->RtpExtStop();
  }
  static_cast<void>(RtpSlot::IBeforeDestroy());
  return true;
}

bool RtpExtSlot::Ioctl(const LGCP::IoctlParams& params) {
  // Without its channel the slot refuses every request, the radio's too:
  // the control's sessions went with the failed restart.
  if (!control_ || channel() < 0) {
    return RtpSlot::Ioctl(params);
  }
  bool answer;
  if (params.is_rtpExt()) {
    answer = control_->SendASNToChan(params.get_rtpExt());
  } else if (params.is_encoder_mode() || params.is_decoder_mode()) {
    const bool stopped = control_->RtpExtStop();
    answer = RtpSlot::Ioctl(params);
    if (stopped && answer) {
      control_->SetAttachSession(session_);
      answer = control_->RtpExtStart(false);
    }
  } else {
    answer = RtpSlot::Ioctl(params);
  }
  GateInput();
  return answer;
}

void RtpExtSlot::GateInput() {
  if (!squ_enable_ || !control_) {
    return;
  }
  const bool open = control_->GetSQU();
  if (open == input_started_) {
    return;
  }
  static_cast<void>(platform::IoctlValue(session_.get(), open ? rtp_device::kStartInput : rtp_device::kStopInput, 0));
  input_started_ = open;
}

void RtpExtSlot::ConfigureRadioDsp(const TERM::RtpRadioRequest& radio) {
  if (radio.has_rx_delay() || radio.has_tx_delay() || radio.has_selcal_delay()) {
    // An absent delay is 0; its value may be read only when present.
    const unsigned rx = radio.has_rx_delay() ? static_cast<unsigned>(radio.get_rx_delay().getValue()) : 0u;
    const unsigned tx = radio.has_tx_delay() ? static_cast<unsigned>(radio.get_tx_delay().getValue()) : 0u;
    const unsigned selcal = radio.has_selcal_delay() ? static_cast<unsigned>(radio.get_selcal_delay().getValue()) : 0u;
    configureDelays(rx, tx, selcal);
  }
  if (radio.has_bss_enable()) {
    static_cast<void>(enableBSS(radio.get_bss_enable().getValue()));
  }
  if (radio.has_ng_enable()) {
    static_cast<void>(enableNG(radio.get_ng_enable().getValue()));
  }
  if (radio.has_selcal_sh_enable()) {
    static_cast<void>(enableSelcalSh(radio.get_selcal_sh_enable().getValue()));
  }
}
