#include "slots/MixerSlots.h"

#include "hardware/HwMux.h"
#include "runtime/log/Ext.h"
#include "slots/Mixer.h"

#include <iostream>

namespace Mixer {

MixerSlot::~MixerSlot() {
  Hardware::TonecReceiver::CleanBeforeDestroy();
  Hardware::DSProcReceiver::CleanBeforeDestroy();
}

bool MixerSlot::IBeforeDestroy() {
  // The input and the output of a unit channel share its switch channel: the
  // last of them to go switches it off, or a live input would lose its leg.
  if (!unit_.SharesTimeslot(*this)) {
    (void)HwMux::instance().Disable(timeslot_);
  }
  ReleaseFromUnit();
  return true;
}

void MixerSlot::dsproc_tone_flt_event(const ::dsproc_tone_event* event) {
  processToneFltEvent(event->frequency, event->presence != 0 ? 1 : 0);
}

void MixerSlot::dsproc_flags_event(const ::dsproc_flags_event* event) {
  processFlagsEvent(event->flags, event->mask);
}

std::optional<bool> MixerSlot::SharedIoctl(const LGCP::IoctlParams& params) {
  using Alternative = LGCP::IoctlParams::Alternative;
  switch (params.alternative()) {
    case Alternative::translateDTMF:
      translateDTMF(params.get_translateDTMF());
      return true;
    case Alternative::dtmf_params:
      return configureDTMF(params.get_dtmf_params());
    case Alternative::iva_enable:
      return enableIVA(params.get_iva_enable().getValue());
    case Alternative::delays: {
      const LGCP::Delays& delays = params.get_delays();
      if (delays.has_selcal()) {
        std::cerr << ext::header(&unit_) << "error: selcal delay isn't supported for mixer!!! Set to zero."
                  << std::endl;
      }
      configureDelays(delays.has_rx() ? static_cast<unsigned>(delays.get_rx().getValue()) : 0,
                      delays.has_tx() ? static_cast<unsigned>(delays.get_tx().getValue()) : 0, 0);
      return true;
    }
    default:
      return DetectorIoctl(params);
  }
}

bool TdmInput::Ioctl(const LGCP::IoctlParams& params) {
  if (const std::optional<bool> shared = SharedIoctl(params)) {
    return *shared;
  }
  using Alternative = LGCP::IoctlParams::Alternative;
  switch (params.alternative()) {
    case Alternative::echoSuppressor:
      return echoCancel(params.get_echoSuppressor().getValue());
    case Alternative::dtmf_enable:
      return enableDTMF(params.get_dtmf_enable().getValue());
    case Alternative::dtmf_reject_enable:
      return enableDTMFReject(params.get_dtmf_reject_enable().getValue());
    case Alternative::iva_params:
      return configureIVA(params.get_iva_params());
    case Alternative::rx_gain:
      configureRxGain(static_cast<signed char>(params.get_rx_gain().get_gainDB().getValue()));
      return true;
    default:
      return false;
  }
}

void TdmInput::ReleaseFromUnit() {
  unit().Release(*this);
}

bool TdmOutput::Ioctl(const LGCP::IoctlParams& params) {
  if (const std::optional<bool> shared = SharedIoctl(params)) {
    return *shared;
  }
  using Alternative = LGCP::IoctlParams::Alternative;
  switch (params.alternative()) {
    case Alternative::dtmf_disable:
      return disableToneGenerator(false);
    case Alternative::dtmf_reject_disable:
      return enableDTMFReject(false);
    case Alternative::tone_gen_enable: {
      const LGCP::ToneGenerator& tone = params.get_tone_gen_enable();
      (void)disableToneGenerator(false);
      (void)enableToneGenerator(static_cast<uint16_t>(tone.get_freq().getValue()), 0,
                                static_cast<uint16_t>(tone.get_amp().getValue()), 0);
      return true;
    }
    case Alternative::tone_gen_disable:
      (void)disableToneGenerator(true);
      return true;
    default:
      return false;
  }
}

void TdmOutput::ReleaseFromUnit() {
  unit().Release(*this);
}

}  // namespace Mixer
