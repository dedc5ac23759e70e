#pragma once

#include "hardware/DSProcReceiver.h"
#include "runtime/loop/Event.h"
#include "schemas/LGCP.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace Hardware {

// The single owner of the voice-processing DSP device: sends every request
// for the receivers and reads the device's events, handing each to the
// receiver of its timeslot. The device opens at the first use and stays open;
// a failed open, or a device that hung up, is opened again by the next
// configure request or disableToneAll.
class DSProcReceiverService {
 public:
  // The event record: timeslot, id, type and three payload words.
  static constexpr size_t kEventSize = 24;

  static DSProcReceiverService& instance();

  // (Re)opens the device and polls it; false with an error line when it cannot be opened.
  bool init();
  bool enableVAD(DSProcReceiver& receiver, bool on);
  bool enableBSS(DSProcReceiver& receiver, bool on);
  bool enableNG(DSProcReceiver& receiver, bool on);
  bool enableSelcalSh(DSProcReceiver& receiver, bool on);
  bool enableSD(DSProcReceiver& receiver, bool on);
  bool enableMute(DSProcReceiver& receiver, bool first, bool second);
  bool configureVAD(unsigned timeslot, const LGCP::VADParams& params);
  bool configureSD(unsigned timeslot);
  void configureDelays(unsigned timeslot, unsigned rx, unsigned tx, unsigned selcal);
  void configureRxGain(unsigned timeslot, signed char gain_dB);
  void configureToneFilter(unsigned timeslot, unsigned frequency, unsigned enable, int duration_ms, int level_dB);
  void disableToneAll(DSProcReceiver& receiver);

  // The registration's callback.
  void OnEvent(int fd, short revents);
  // Hands one whole event record to the receiver of its timeslot.
  void Dispatch(const uint8_t* record);

  bool is_open() const { return static_cast<bool>(event_.GetFd()); }

 private:
  using Configuration = std::array<uint8_t, 20>;

  DSProcReceiverService();

  bool EnsureOpen();
  bool SwitchFeature(DSProcReceiver& receiver, DSProcReceiver::Feature& feature, const char* name, uint32_t mask,
                     bool on);
  // DSPROC_CONFIGURE; false with the line of its failure.
  bool Configure(Configuration& record, const char* fail_message, unsigned timeslot);

  Event event_;
  uint32_t last_id_ = 0;
};

}  // namespace Hardware
