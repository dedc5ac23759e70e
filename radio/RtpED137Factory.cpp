#include "radio/RtpED137Factory.h"

#include "asn1/AVNEncoder.h"
#include "radio/RtpED137Slot.h"
#include "runtime/log/Ext.h"
#include "schemas/LGCP.h"

#include <iostream>

RtpED137Factory& RtpED137Factory::instance() {
  static RtpED137Factory factory;
  return factory;
}

RTPSignalling::ED137RadioParams RtpED137Factory::MakeParams(const TERM::ED137RadioStatus& status) {
  RTPSignalling::ED137RadioParams params;
  if (!status.has_radio_response()) {
    return params;
  }
  const TERM::ED137RadioResponse& response = status.get_radio_response();
  if (response.has_transmission_depend_on_squ()) {
    params.transmission_depend_on_squ = response.get_transmission_depend_on_squ().getValue();
  }
  if (response.has_sigtime()) {
    params.sigtime = static_cast<uint32_t>(response.get_sigtime().getValue());
  }
  if (response.has_r2s_keepalive_period()) {
    params.keepalive_period = static_cast<uint32_t>(response.get_r2s_keepalive_period().getValue());
  }
  if (response.has_r2s_keepalive_multiplier()) {
    params.keepalive_multiplier = static_cast<uint32_t>(response.get_r2s_keepalive_multiplier().getValue());
  }
  params.type = static_cast<uint32_t>(response.get_type().getValue());
  params.txrxmode = static_cast<uint32_t>(response.get_txrxmode().getValue());
  return params;
}

std::unique_ptr<Slot> RtpED137Factory::INewSlot(const LGCP::CreateParams& create) {
  if (!create.is_rtp() || !create.get_rtp().get_codecRTP().has_radio() ||
      !create.get_rtp().get_codecRTP().get_radio().get_status().is_ed_137()) {
    return nullptr;
  }
  const LGCP::CreateRtpParams& request = create.get_rtp();
  const TERM::RtpRadioRequest& radio = request.get_codecRTP().get_radio();
  std::clog << ext::header(this) << "do create rtp ext ED137: " << request.get_codecRTP() << std::endl;
  const RTPSignalling::ED137RadioParams params = MakeParams(radio.get_status().get_ed_137());
  const int32_t bss = radio.has_bss_enable() && radio.get_bss_enable().getValue() ? 1 : 0;
  RtpED137RadioGWSlot* built = nullptr;
  std::unique_ptr<RtpSlot> slot =
      NewSession(request, bss, [&](int channel, const Fd& session, const rtp_connection_params& rtp) {
        auto ed137 = std::make_unique<RtpED137RadioGWSlot>(
            channel, session, rtp, rtp_ext_attach_session_params{session.get(), -1},
            RTPSignalling::MakeED137InitParams(params, rtp.packet_factor), params);
        ed137->SetRadioStatus(radio.get_status());
        built = ed137.get();
        return ed137;
      });
  if (!slot) {
    return nullptr;
  }
  built->ConfigureRadioDsp(radio);
  return slot;
}
