#include "hardware/TonecReceiver.h"

#include "hardware/TonecReceiverService.h"

namespace Hardware {
namespace {

constexpr uint16_t kWaitToneFrequency = 425;
constexpr uint16_t kWaitToneLevel = 2048;
constexpr unsigned kWaitToneMs = 1000;
constexpr unsigned kWaitSilenceMs = 3000;
constexpr uint16_t kSilenceFrequency = 1000;
constexpr uint16_t kDigitLevel = 16384;
constexpr unsigned kDigitStepMs = 70;

TonecReceiverService& Service() {
  return TonecReceiverService::instance();
}

// A length the controller gave, or the default. The field is an unconstrained
// INTEGER: a negative one would become a timer of about 49 days.
unsigned StepLength(int ms) {
  return ms >= 0 ? static_cast<unsigned>(ms) : kDigitStepMs;
}

}  // namespace

Containers::CyclicList& TonecReceiver::All() {
  static Containers::CyclicList anchor;
  return anchor;
}

TonecReceiver::TonecReceiver() {
  link_.InternalAddTail(&All());
}

TonecReceiver::~TonecReceiver() {
  Containers::CyclicList::InternalDel(link_.prev, link_.next);
}

bool TonecReceiver::configureDTMF(const LGCP::DTMFParams& params) {
  return Service().configureDTMF(tonec_timeslot(), params);
}

bool TonecReceiver::enableDTMF(bool on) {
  if (!Service().enableDTMF(*this, on)) {
    return false;
  }
  dtmf_on_ = on;
  return true;
}

bool TonecReceiver::disableDTMF() {
  return enableDTMF(false);
}

bool TonecReceiver::echoCancel(bool on) {
  return Service().echoCancel(tonec_timeslot(), on);
}

bool TonecReceiver::enableDTMFReject(bool on) {
  if (!Service().enableDTMFReject(tonec_timeslot(), on)) {
    return false;
  }
  reject_on_ = on;
  return true;
}

bool TonecReceiver::configureIVA(const LGCP::IVAParams& params) {
  return Service().configureIVA(*this, params);
}

bool TonecReceiver::enableIVA(bool on) {
  if (!Service().enableIVA(*this, on)) {
    return false;
  }
  iva_on_ = on;
  return true;
}

bool TonecReceiver::translateSelcal(const TERM::SelcalCommand& command) {
  return Service().translateSelcal(*this, command);
}

bool TonecReceiver::enableToneGenerator(uint16_t freq1, uint16_t freq2, uint16_t level1, uint16_t level2) {
  return Service().enableToneGenerator(tonec_timeslot(), freq1, freq2, level1, level2);
}

bool TonecReceiver::enableSilence() {
  return enableToneGenerator(kSilenceFrequency, kSilenceFrequency, 0, 0);
}

bool TonecReceiver::disableToneGenerator(bool force) {
  if (!force && !sending_) {
    return false;
  }
  if (sending_) {
    timer_.reset();
    sending_ = false;
  }
  return enableToneGenerator(0, 0, 0, 0);
}

void TonecReceiver::activateAudibleCall() {
  ToneStep();
}

void TonecReceiver::cancelAudibleCall() {
  if (sending_) {
    return;
  }
  // The pending cadence step goes too, or the wait tone would come back at it.
  timer_.reset();
  (void)disableToneGenerator(true);
}

void TonecReceiver::translateDTMF(const LGCP::TranslateDtmfParams& params) {
  digits_ = params;
  if (sending_) {
    return;
  }
  sending_ = true;
  DigitStep();
}

void TonecReceiver::CleanBeforeDestroy() {
  if (dtmf_on_) {
    (void)disableDTMF();
  }
  if (iva_on_) {
    (void)enableIVA(false);
  }
  if (reject_on_) {
    (void)enableDTMFReject(false);
  }
}

void TonecReceiver::ToneStep() {
  (void)enableToneGenerator(kWaitToneFrequency, 0, kWaitToneLevel, kWaitToneLevel);
  timer_.set(kWaitToneMs, &TonecReceiver::SilenceStep, this);
}

void TonecReceiver::SilenceStep() {
  (void)enableSilence();
  timer_.set(kWaitSilenceMs, &TonecReceiver::ToneStep, this);
}

void TonecReceiver::DigitStep() {
  auto& digits = digits_.get_digits();
  if (digits.empty()) {
    (void)disableToneGenerator(true);
    tone_gen_complete();
    return;
  }
  const auto freq1 = static_cast<uint16_t>(digits[0].get_freq1().getValue());
  const auto freq2 = static_cast<uint16_t>(digits[0].get_freq2().getValue());
  digits.erase(0, 1);
  const auto level1 = digits_.has_amp1() ? static_cast<uint16_t>(digits_.get_amp1().getValue()) : kDigitLevel;
  const auto level2 = digits_.has_amp2() ? static_cast<uint16_t>(digits_.get_amp2().getValue()) : kDigitLevel;
  (void)enableToneGenerator(freq1, freq2, level1, level2);
  timer_.set(ToneLength(), &TonecReceiver::PauseStep, this);
}

unsigned TonecReceiver::ToneLength() const {
  return digits_.has_toneDuration() ? StepLength(digits_.get_toneDuration().getValue()) : kDigitStepMs;
}

unsigned TonecReceiver::PauseLength() const {
  return digits_.has_pauseDuration() ? StepLength(digits_.get_pauseDuration().getValue()) : kDigitStepMs;
}

void TonecReceiver::PauseStep() {
  (void)enableSilence();
  timer_.set(PauseLength(), &TonecReceiver::DigitStep, this);
}

}  // namespace Hardware
