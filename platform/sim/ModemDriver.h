#pragma once

#include "platform/sim/Driver.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace sim {

// The simulated DSP modem device "/dev/mctl": a bank of modems, each on a
// switch channel of its own. An open allocates at most one modem, which is
// freed when the open is released; the requests of the set-up and the call
// are kept per modem for a test to read.
class ModemDriver : public Driver {
 public:
  static constexpr const char* kPath = "/dev/mctl";
  static constexpr int kFirstSwitchChannel = 384;

  // What the server asked of one modem since it was last allocated.
  struct Modem {
    bool allocated = false;
    uint32_t modes = 0;
    bool reset = false;
    std::vector<std::pair<int32_t, int32_t>> parameters;  // {offset, value}
    std::string call;                                     // "", "answer", "originate" or "fax-originate"
  };

  ModemDriver();

  // The number of modems the device enumerates (4 at start); modems beyond it vanish.
  void SetModemCount(int count);
  Modem ModemAt(int index) const;

 private:
  struct OpenState : OpenFile::State {
    int modem = -1;
  };

  long OnOpen(OpenFile& file) override;
  void OnRelease(OpenFile& file) override;
  long Allocate(OpenFile& file);
  // The modem named by the record's first word, when this open holds it.
  Modem* Held(OpenFile& file, const Record& record);
  void HandleCall(unsigned long request, const char* call);

  std::vector<Modem> modems_;
};

}  // namespace sim
