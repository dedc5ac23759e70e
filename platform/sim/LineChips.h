#pragma once

#include "platform/sim/History.h"

#include <array>
#include <cstdint>
#include <vector>

namespace sim {

// The eight line interface chips on the SPI bus of the simulated "/dev/hal",
// 256 registers each. A test sets the status register (carrier, framing,
// alarms) and reads what the server wrote, or takes the bus away so that
// every SPI request fails with ENODEV, as on a HAL without SPI.
class LineChips {
 public:
  static constexpr int kChannels = 8;
  static constexpr int kStatusRegister = 0x33;

  struct Request {
    bool write;
    int channel;
    int address;
    int data;  // 0 for a read
    bool operator==(const Request& other) const {
      return write == other.write && channel == other.channel && address == other.address && data == other.data;
    }
  };

  LineChips();

  // The register requests; 0 for a write, the register value for a read, or -errno.
  long Write(int channel, int address, int data);
  long Read(int channel, int address);

  uint8_t Register(int channel, int address) const;
  void SetRegister(int channel, int address, uint8_t value);
  // Bit 0 of the status register: the line sees a carrier.
  void SetCarrier(int channel, bool carrier);
  void SetPresent(bool present);

  // The requests that reached the chips, in order.
  std::vector<Request> Requests() const;
  void ClearRequests();

 private:
  std::array<std::array<uint8_t, 256>, kChannels> registers_{};
  History<Request> requests_;
  bool present_ = true;
};

}  // namespace sim
