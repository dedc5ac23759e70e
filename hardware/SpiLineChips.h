#pragma once

#include <cstdint>
#include <optional>

// The eight line interface chips on the SPI bus of "/dev/hal": their register
// access, start-up and clock-master set-up, and the decoding of their status
// register. It owns its own descriptor of the HAL device. Once the device
// answers that it has no SPI bus, every operation is off for good.
class SpiLineChips {
 public:
  static constexpr int kChannels = 8;

  // What a status register says about a line; the values are those of the
  // controller's trunk states.
  enum class LineState { normal = 0, lossBF = 1, lossCarrier = 2, ais = 3, rai = 4 };
  struct LineStatus {
    LineState state;
    int slips;
  };

  // Opens the device and initialises and enables the channels.
  SpiLineChips();
  // Disables the channels and frees the clock master.
  ~SpiLineChips();
  SpiLineChips(const SpiLineChips&) = delete;
  SpiLineChips& operator=(const SpiLineChips&) = delete;

  // Register access, only while open and present; read gives 0 when it cannot read.
  void write(int channel, int address, int data);
  uint8_t read(int channel, int address);

  // Opens the device when it is not open yet (and SPI is present), then
  // initialises and enables channels 0 to 6. Every channel operation calls it
  // first, so a failed open is retried.
  void init_device_and_channels();
  void init_channel(int channel);
  void enable_channel(int channel);
  void disable_channel(int channel);
  // Makes one channel (0 to 7) the clock master, or none with -1.
  void clock(int channel);

  // Reads and decodes the status register of a channel. Nothing when the read
  // failed: a read failure says nothing about the line. A raised slips bit is
  // counted once, on the first channel that shows it.
  std::optional<LineStatus> ReadStatus(int channel);

  bool IsOpen() const { return fd_ >= 0; }
  bool IsPresent() const { return present_; }

 private:
  // Issues one register request; the result or nothing after a failure (logged).
  std::optional<int> Request(unsigned long request, int channel, int address, int data);
  // The register value, or nothing (logged) when the request failed.
  std::optional<uint8_t> ReadRegister(int channel, int address);
  // False (logged) for a channel outside 0 to 7; the message names the operation.
  bool IsValidChannel(int channel, const char* operation) const;

  int fd_ = -1;
  bool present_ = true;
  bool slips_edge_ = false;
};
