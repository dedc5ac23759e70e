#pragma once

#include "platform/sim/EventDeviceDriver.h"

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace sim {

// The simulated "/dev/dsp": the voice-processing DSP. It keeps, per timeslot,
// the features switched on with the id of each enable and what was
// configured (VAD thresholds in the layout of its driver version, delays, the
// receive gain, the tone filters), and lets a test inject events to every
// open of it.
class DspDriver : public EventDeviceDriver {
 public:
  static constexpr const char* kPath = "/dev/dsp";

  // Feature masks.
  static constexpr uint32_t kVad = 0x1, kSd = 0x2, kMuteFirst = 0x4, kMuteSecond = 0x8, kBss = 0x10, kNg = 0x80,
                            kToneFilters = 0x100, kSelcalSh = 0x400;
  // Event types.
  static constexpr uint32_t kVadEvent = 1, kSdEvent = 2, kBssEvent = 0x10, kToneEvent = 0x100, kFlagsEvent = 0x200;

  struct ToneFilter {
    uint8_t enable;
    uint16_t duration_ms;
    uint8_t level_dB;
  };
  struct Timeslot {
    uint32_t enabled = 0;              // feature mask
    std::map<uint32_t, uint32_t> ids;  // feature bit -> id of its last enable
    std::vector<uint32_t> vad;         // voice, silence, energy; or the three fixed words
    bool sd_configured = false;
    std::vector<uint32_t> delays;  // rx, tx, selcal
    std::optional<int8_t> rx_gain;
    std::map<uint16_t, ToneFilter> tone_filters;  // by frequency
  };

  DspDriver();

  // The VAD parameter version the driver reports (2 unless set).
  void SetVersion(long version);
  std::map<uint32_t, Timeslot> Timeslots() const;

  // An event on the timeslot; the id is that of the feature's enable unless given.
  bool Report(uint32_t timeslot, uint32_t type, std::array<uint32_t, 3> payload,
              std::optional<uint32_t> id = std::nullopt);

 private:
  long Configure(Record& record);
  long Switch(Record& record, bool on);
  void AddCommands();
  // "enabled=0x<mask> filters=<count>"
  static std::string Describe(const Timeslot& state);

  long version_ = 2;
  std::map<uint32_t, Timeslot> timeslots_;
};

}  // namespace sim
