#include "radio/RtpLEMZFactory.h"

#include "asn1/AVNEncoder.h"
#include "radio/RtpLEMZSlot.h"
#include "runtime/log/Ext.h"
#include "schemas/LGCP.h"

#include <unistd.h>

#include <iostream>

RtpLEMZFactory& RtpLEMZFactory::instance() {
  static RtpLEMZFactory factory;
  return factory;
}

std::unique_ptr<Slot> RtpLEMZFactory::INewSlot(const LGCP::CreateParams& create) {
  if (!create.is_rtp() || !create.get_rtp().get_codecRTP().has_radio() ||
      !create.get_rtp().get_codecRTP().get_radio().get_status().is_lemz()) {
    return nullptr;
  }
  const LGCP::CreateRtpParams& request = create.get_rtp();
  const TERM::RtpParams& codec = request.get_codecRTP();
  const TERM::RtpRadioRequest& radio = codec.get_radio();
  std::clog << ext::header(this) << "do create rtp ext LEMZ: " << codec << std::endl;
  // Joined to another process's session (only-rtp), else an extension session of the slot's own.
  const TERM::RtpExtDescription* joined = nullptr;
  if (codec.has_rtp_e2m() && codec.get_rtp_e2m().has_mode()) {
    const TERM::RtpExtMode& mode = codec.get_rtp_e2m().get_mode();
    if (mode.is_only_rtp()) {
      joined = &mode.get_only_rtp();
    } else if (!mode.is_both_rtp_and_rtp_ext()) {
      std::cerr << ext::header(this) << "unknown rtp-e2m mode" << std::endl;
      return nullptr;
    }
  }
  const int32_t bss = radio.has_bss_enable() && radio.get_bss_enable().getValue() ? 1 : 0;
  RtpLEMZRadioGWSlot* built = nullptr;
  std::unique_ptr<RtpSlot> slot =
      NewSession(request, bss, [&](int channel, const Fd& session, const rtp_connection_params& rtp) {
        std::unique_ptr<RtpLEMZRadioGWSlot> lemz;
        if (joined != nullptr) {
          lemz = std::make_unique<RtpLEMZRadioGWSlot>(
              channel, session, rtp,
              rtp_attach_session_params{static_cast<int32_t>(joined->get_fd().getValue()),
                                        static_cast<int32_t>(joined->get_pid().getValue())});
        } else {
          lemz = std::make_unique<RtpLEMZRadioGWSlot>(channel, session, rtp,
                                                      rtp_ext_attach_session_params{session.get(), getpid()},
                                                      rtp_ext_init_params{RTPSignalling::kLemzExtensionType, {}}, true);
        }
        lemz->SetRadioStatus(radio.get_status());
        built = lemz.get();
        return lemz;
      });
  if (!slot) {
    return nullptr;
  }
  built->ConfigureRadioDsp(radio);
  return slot;
}
