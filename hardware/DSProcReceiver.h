#pragma once

#include "runtime/containers/CyclicList.h"
#include "schemas/LGCP.h"

#include <cstdint>
#include <optional>

// The payload words of DSP events as the device reports them.
struct dsproc_bss_event {
  float score;
};
struct dsproc_tone_event {
  uint32_t frequency;
  // A whole word: any non-zero value is a tone present.
  uint32_t presence;
};
struct dsproc_flags_event {
  uint32_t flags;
  uint32_t mask;
};

namespace Hardware {

// Voice activity per direction; -1 when the event does not report it.
struct DSProcVADEvent {
  int32_t rx;
  int32_t tx;
};
struct DSProcSDEvent {
  int32_t rx;
};

// A client of the voice-processing DSP for one TDM timeslot, inherited by the
// slot kinds that detect voice activity and tones on their channel. It keeps
// the state of each feature it switches (-1 unknown, 0 off, 1 on) with the id
// of its enable, which tells its events from stale ones, so that
// CleanBeforeDestroy can switch off what it switched on. Every receiver is on
// one process-wide list, oldest first, which the service walks to deliver an
// event.
class DSProcReceiver {
 public:
  DSProcReceiver();
  DSProcReceiver(const DSProcReceiver&) = delete;
  DSProcReceiver& operator=(const DSProcReceiver&) = delete;
  virtual ~DSProcReceiver();

  virtual void dsproc_vad_event(const DSProcVADEvent& event) = 0;
  virtual void dsproc_bss_event(const ::dsproc_bss_event* event) = 0;
  virtual void dsproc_sd_event(const DSProcSDEvent& event) = 0;
  virtual void dsproc_tone_flt_event(const ::dsproc_tone_event* event) = 0;
  virtual void dsproc_flags_event(const ::dsproc_flags_event* event) = 0;
  virtual unsigned dsproc_timeslot() const = 0;

  // Each forwards to the service with this receiver's timeslot; true on success.
  bool configureVAD(const LGCP::VADParams& params);
  bool enableVAD(bool on);
  bool disableVAD();
  bool enableBSS(bool on);
  bool disableBSS();
  bool enableNG(bool on);
  bool disableNG();
  bool enableSelcalSh(bool on);
  bool disableSelcalSh();
  bool configureSD();
  bool enableSD(bool on);
  bool disableSD();
  bool enableMute(bool first, bool second);
  bool disableMute();
  // These report only through the log; callers treat them as done.
  void configureToneFilter(unsigned frequency, unsigned enable, int duration_ms, int level_dB);
  void disableToneAll();
  void configureDelays(unsigned rx, unsigned tx, unsigned selcal);
  void configureRxGain(signed char gain_dB);
  // An LGCP ioctl that sets up the voice and signal detectors or the tone
  // filter: whether it succeeded; nullopt for any other request.
  std::optional<bool> DetectorIoctl(const LGCP::IoctlParams& params);
  // Switches off what this receiver switched on, and every tone filter; its
  // owner calls it before destroying it.
  void CleanBeforeDestroy();

  // Every receiver, oldest first.
  static Containers::CyclicList& All();

  // A switched feature: -1 unknown, 0 off, 1 on, and the id of its enable.
  struct Feature {
    int state;
    uint32_t id;
  };

 private:
  friend class DSProcReceiverService;

  struct Link : Containers::CyclicList {
    explicit Link(DSProcReceiver* owner) : owner(owner) {}
    DSProcReceiver* owner;
  };

  Feature vad_{-1, 0};
  Feature bss_{0, 0};
  Feature ng_{0, 0};
  Feature selcal_sh_{0, 0};
  Feature sd_{-1, 0};
  int mute_first_ = -1;
  int mute_second_ = -1;
  uint32_t mute_id_ = 0;
  bool delays_set_ = false;
  bool rx_gain_set_ = false;
  Link link_{this};
};

}  // namespace Hardware
