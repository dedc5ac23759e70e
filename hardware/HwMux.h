#pragma once

#include "runtime/loop/Dpc.h"

#include <cstdint>
#include <optional>
#include <unordered_map>

// Drives the board's TDM switch through "/dev/hal": connects a source channel to
// a switch output, makes an output send a constant byte, disables it, or reads
// what it carries. It owns the device descriptor and a shadow of the 2048 bus
// outputs (8192 to 10239), and keeps re-disabling the outputs that should be
// off, 128 of them a step, so that an output the hardware dropped back into
// service is switched off again within one sweep of 16 steps.
class HwMux {
 public:
  static constexpr int kFirstOutput = 8192;
  static constexpr int kOutputCount = 2048;
  // The switch's channels: the board's channels below the bus outputs, then the bus outputs.
  static constexpr int kChannelCount = kFirstOutput + kOutputCount;
  // Shadow entries besides a source channel number.
  static constexpr uint16_t kDisabled = 0xFFFF;
  static constexpr uint16_t kConstant = 0xFFFE;

  static HwMux& instance();

  // Tries to open the device; a failure is retried before every operation.
  HwMux();
  ~HwMux();
  HwMux(const HwMux&) = delete;
  HwMux& operator=(const HwMux&) = delete;

  // Every operation opens the device first if needed and refuses a negative
  // channel. The shadow keeps the state asked for even when the request
  // fails, so the refresh still disables an output that should be off.
  // Connect also refuses a channel past the switch's last one: a source of
  // 0xFFFE or 0xFFFF would read as a shadow marker.
  [[nodiscard]] bool Connect(int source, int destination);
  // The output then sends the idle byte 0xD5 instead of being switched off.
  [[nodiscard]] bool Disconnect(int output);
  [[nodiscard]] bool Disable(int output);
  [[nodiscard]] bool Write(int output, unsigned value);
  // The byte the channel carries; nothing when the device is not open, the
  // channel is negative or the request fails.
  [[nodiscard]] std::optional<uint8_t> Read(int channel);

  bool IsOpen() const { return fd_ >= 0; }
  // The shadow of a bus output, for outputs 8192 to 10239.
  uint16_t Shadow(int output) const;
  // True while output is connected to source as last asked, on any output.
  bool Carries(int output, int source) const;

 private:
  // One refresh step once the device is open: re-disables the next 128
  // outputs whose shadow says off. At most one step runs per millisecond of
  // loop clock.
  void OnDPC();
  [[nodiscard]] bool EnsureOpen();
  void SetShadow(int output, uint16_t state);
  // Issues one switch request; returns 0 or the errno of the failure. The
  // disable record has one field, the others two; answer gets the second field back.
  [[nodiscard]] int Request(unsigned long request, int32_t first, int32_t second, int32_t* answer);

  int fd_ = -1;
  uint16_t shadow_[kOutputCount];
  // The sources of the outputs below the bus outputs that are connected: they have no shadow entry.
  std::unordered_map<int, int> line_sources_;
  unsigned refresh_index_ = 0;
  std::optional<uint32_t> last_refresh_ms_;
  Dpc refresh_;
};
