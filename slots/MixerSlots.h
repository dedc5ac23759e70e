#pragma once

#include "hardware/DSProcReceiver.h"
#include "hardware/TonecReceiver.h"
#include "slots/Slot.h"

#include <cstdint>
#include <optional>

namespace Mixer {

class Mixer;

// A slot on a channel of a conference mixer unit, with the DTMF/tone and DSP
// receivers of its TDM timeslot. It holds the requests both kinds take alike;
// the receivers are cleaned when the slot is deleted.
class MixerSlot : public Slot, public Hardware::TonecReceiver, public Hardware::DSProcReceiver {
 public:
  MixerSlot(Mixer& unit, int32_t channel, int timeslot) : unit_(unit), channel_(channel), timeslot_(timeslot) {}
  ~MixerSlot() override;

  // Frees its switch output unless the unit channel's other slot still uses it,
  // and gives back what it programmed in the unit.
  bool IBeforeDestroy() override;
  unsigned tonec_timeslot() const override { return static_cast<unsigned>(timeslot_); }
  unsigned dsproc_timeslot() const override { return static_cast<unsigned>(timeslot_); }
  void dsproc_tone_flt_event(const ::dsproc_tone_event* event) override;
  void dsproc_flags_event(const ::dsproc_flags_event* event) override;

  Mixer& unit() const { return unit_; }
  int32_t channel() const { return channel_; }
  int timeslot() const { return timeslot_; }

 protected:
  // The result of a request both kinds take; nothing for any other.
  std::optional<bool> SharedIoctl(const LGCP::IoctlParams& params);
  virtual void ReleaseFromUnit() = 0;

 private:
  Mixer& unit_;
  int32_t channel_;
  int timeslot_;
};

// A TDM channel brought into a mixer unit, optionally added to a summator;
// its timeslot is where digits, voice activity and tones are detected.
class TdmInput : public MixerSlot {
 public:
  TdmInput(Mixer& unit, int32_t channel, int timeslot) : MixerSlot(unit, channel, timeslot) {}

  bool Ioctl(const LGCP::IoctlParams& params) override;
  bool IOnInputStream() override { return true; }
  int IGetReceiveChannel() const override { return timeslot(); }
  const char* GetName() const override { return "mixer tdm input"; }
  void tonec_event(const Params& params) override { processTonecEvent(params.code, params.timestamp); }
  void dsproc_vad_event(const Hardware::DSProcVADEvent& event) override { processVADEvent(event.rx, event.tx); }
  void dsproc_bss_event(const ::dsproc_bss_event* event) override { processBSSEvent(event->score); }
  void dsproc_sd_event(const Hardware::DSProcSDEvent& event) override { processSDEvent(event.rx); }

  // The output summator it was added to, when it was.
  std::optional<int32_t> summator;

 private:
  void ReleaseFromUnit() override;
};

// A summator's result taken out to the TDM fabric; tones are played into it.
class TdmOutput : public MixerSlot {
 public:
  TdmOutput(Mixer& unit, int32_t channel, int timeslot) : MixerSlot(unit, channel, timeslot) {}

  bool Ioctl(const LGCP::IoctlParams& params) override;
  bool IOnOutputStream() override { return true; }
  int IGetTransmitChannel() const override { return timeslot(); }
  const char* GetName() const override { return "mixer tdm output"; }
  void tonec_event(const Params&) override {}
  void tone_gen_complete() override { processToneGenEvent(); }
  void dsproc_vad_event(const Hardware::DSProcVADEvent&) override {}
  void dsproc_bss_event(const ::dsproc_bss_event*) override {}
  void dsproc_sd_event(const Hardware::DSProcSDEvent&) override {}

 private:
  void ReleaseFromUnit() override;
};

}  // namespace Mixer
