#pragma once

#include "platform/sim/EventDeviceDriver.h"
#include "platform/sim/History.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace sim {

// The simulated "/dev/dtmf": the DTMF/tone DSP. It keeps what each timeslot
// was switched to (detector with its id, echo canceller, DTMF rejection, IVA,
// the configured thresholds) and the tone generator's requests with the loop
// clock's time, and lets a test inject detector events to every open of it.
class DtmfDriver : public EventDeviceDriver {
 public:
  static constexpr const char* kPath = "/dev/dtmf";

  struct Timeslot {
    bool detector = false;
    uint32_t id = 0;  // of the last detector enable
    bool echo_canceller = false;
    bool rejection = false;
    bool iva = false;
    // twist, ratio, silence, noise as configured; empty before
    std::vector<uint32_t> thresholds;
    std::optional<int32_t> iva_level;
  };
  // One DTMF_DIAL: the generator's new setting.
  struct Tone {
    int64_t ms;  // loop clock
    uint32_t timeslot;
    uint16_t freq1, freq2, level1, level2;
  };
  struct Selcal {
    uint32_t timeslot;
    uint16_t amplitude;
    std::string signs;
  };

  DtmfDriver();

  std::map<uint32_t, Timeslot> Timeslots() const;
  std::vector<Tone> Tones() const;
  std::vector<Selcal> Selcals() const;

  // The detector reports code on the timeslot, under the id of its enable
  // unless one is given. False when no open takes it.
  bool Detect(uint32_t timeslot, uint32_t code, uint32_t timestamp, std::optional<uint32_t> id = std::nullopt);

 private:
  Timeslot& At(uint32_t timeslot) { return timeslots_[timeslot]; }
  long Switch(unsigned long value, bool Timeslot::*flag, bool on);
  void AddCommands();
  // "detector=<0|1> id=<id> lms=<0|1> rejection=<0|1> iva=<0|1>"
  static std::string Describe(const Timeslot& state);

  std::map<uint32_t, Timeslot> timeslots_;
  History<Tone> tones_;
  History<Selcal> selcals_;
};

}  // namespace sim
