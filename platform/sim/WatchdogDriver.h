#pragma once

#include "platform/sim/Driver.h"
#include "platform/sim/History.h"

#include <sys/time.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

// The board's hardware watchdog "/dev/misc/gw-wd". It never bites; it keeps each
// write ("START", "PING", "STOP") with the loop-clock time it arrived at, so a
// test can check the sequence and the cadence. Open and write failures come from
// the injection every device has.
class WatchdogDriver : public Driver {
 public:
  static constexpr const char* kPath = "/dev/misc/gw-wd";

  struct Entry {
    std::string word;
    timeval time;
  };

  WatchdogDriver();

  // Oldest first; older entries are dropped past a bound.
  std::vector<Entry> Entries() const;

 private:
  long OnWrite(OpenFile& file, const std::vector<uint8_t>& record) override;
  Reply ControlLog() const;

  // An hour of PINGs: plenty for a test, bounded for a long workstation run.
  History<Entry, 3600> entries_;
};

}  // namespace sim
