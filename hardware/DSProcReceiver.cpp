#include "hardware/DSProcReceiver.h"

#include "hardware/DSProcReceiverService.h"

namespace Hardware {
namespace {

DSProcReceiverService& Service() {
  return DSProcReceiverService::instance();
}

}  // namespace

Containers::CyclicList& DSProcReceiver::All() {
  static Containers::CyclicList anchor;
  return anchor;
}

DSProcReceiver::DSProcReceiver() {
  link_.InternalAddTail(&All());
}

DSProcReceiver::~DSProcReceiver() {
  Containers::CyclicList::InternalDel(link_.prev, link_.next);
}

bool DSProcReceiver::configureVAD(const LGCP::VADParams& params) {
  return Service().configureVAD(dsproc_timeslot(), params);
}

std::optional<bool> DSProcReceiver::DetectorIoctl(const LGCP::IoctlParams& params) {
  using Alternative = LGCP::IoctlParams::Alternative;
  switch (params.alternative()) {
    case Alternative::vad_params:
      return configureVAD(params.get_vad_params());
    case Alternative::vad_enable:
      return enableVAD(params.get_vad_enable().getValue());
    case Alternative::vad_disable:
      return disableVAD();
    case Alternative::sd_params:
      return configureSD();
    case Alternative::sd_enable:
      return enableSD(params.get_sd_enable().getValue());
    case Alternative::sd_disable:
      return disableSD();
    case Alternative::tone_filter: {
      const LGCP::ToneFilter& filter = params.get_tone_filter();
      configureToneFilter(static_cast<unsigned>(filter.get_freq().getValue()), filter.get_enable().getValue() ? 1 : 0,
                          filter.get_duration_th_msec().getValue(), filter.get_det_level_dB().getValue());
      return true;
    }
    default:
      return std::nullopt;
  }
}

bool DSProcReceiver::enableVAD(bool on) {
  return Service().enableVAD(*this, on);
}

bool DSProcReceiver::disableVAD() {
  return enableVAD(false);
}

bool DSProcReceiver::enableBSS(bool on) {
  return Service().enableBSS(*this, on);
}

bool DSProcReceiver::disableBSS() {
  return enableBSS(false);
}

bool DSProcReceiver::enableNG(bool on) {
  return Service().enableNG(*this, on);
}

bool DSProcReceiver::disableNG() {
  return enableNG(false);
}

bool DSProcReceiver::enableSelcalSh(bool on) {
  return Service().enableSelcalSh(*this, on);
}

bool DSProcReceiver::disableSelcalSh() {
  return enableSelcalSh(false);
}

bool DSProcReceiver::configureSD() {
  return Service().configureSD(dsproc_timeslot());
}

bool DSProcReceiver::enableSD(bool on) {
  return Service().enableSD(*this, on);
}

bool DSProcReceiver::disableSD() {
  return enableSD(false);
}

bool DSProcReceiver::enableMute(bool first, bool second) {
  return Service().enableMute(*this, first, second);
}

bool DSProcReceiver::disableMute() {
  return enableMute(false, false);
}

void DSProcReceiver::configureToneFilter(unsigned frequency, unsigned enable, int duration_ms, int level_dB) {
  Service().configureToneFilter(dsproc_timeslot(), frequency, enable, duration_ms, level_dB);
}

void DSProcReceiver::disableToneAll() {
  Service().disableToneAll(*this);
}

void DSProcReceiver::configureDelays(unsigned rx, unsigned tx, unsigned selcal) {
  Service().configureDelays(dsproc_timeslot(), rx, tx, selcal);
  delays_set_ = rx != 0 || tx != 0 || selcal != 0;
}

void DSProcReceiver::configureRxGain(signed char gain_dB) {
  Service().configureRxGain(dsproc_timeslot(), gain_dB);
  rx_gain_set_ = gain_dB != 0;
}

void DSProcReceiver::CleanBeforeDestroy() {
  if (vad_.state == 1) {
    (void)disableVAD();
  }
  if (bss_.state == 1) {
    (void)disableBSS();
  }
  if (ng_.state == 1) {
    (void)disableNG();
  }
  if (selcal_sh_.state == 1) {
    (void)disableSelcalSh();
  }
  // Without this the DSP would go on detecting for a timeslot whose slot is gone.
  if (sd_.state == 1) {
    (void)disableSD();
  }
  if (delays_set_) {
    configureDelays(0, 0, 0);
  }
  if (rx_gain_set_) {
    configureRxGain(0);
  }
  disableToneAll();
}

}  // namespace Hardware
