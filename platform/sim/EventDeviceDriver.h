#pragma once

#include "platform/sim/Driver.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

// Base of the simulated devices that report events to every open of them in
// fixed-size records (the DTMF/tone and the voice-processing DSP). Besides the
// driver's own events, a test can deliver any bytes as one record; the control
// command "short <n>" delivers a record of only n bytes.
class EventDeviceDriver : public Driver {
 public:
  EventDeviceDriver(std::string path, size_t record_size);

  // The bytes as one record to every open; false when no open takes it.
  bool DeliverRaw(const std::vector<uint8_t>& record);

 private:
  size_t record_size_;
};

}  // namespace sim
