#include "hardware/SpiLineChips.h"

#include "platform/Device.h"

#include <fcntl.h>

#include <cerrno>
#include <iostream>

namespace {

constexpr char kHalDevice[] = "/dev/hal";

// Record {uint8 channel, uint8 register, uint8 data}; a read returns the
// register value as the request's result.
constexpr unsigned long kWriteRequest = 0xc0034204;
constexpr unsigned long kReadRequest = 0xc0034203;

constexpr int kConfigRegister = 0x30;
constexpr int kEnableRegister = 0x32;
constexpr int kStatusRegister = 0x33;
constexpr int kLineRegister = 0x34;
constexpr int kClockRegister = 0x57;

constexpr int kEnabled = 0x00;
constexpr int kDisabled = 0x80;
constexpr int kClockNormal = 0x30;
constexpr int kClockMaster = 0x38;

// Channel 7 exists but is left alone at start.
constexpr int kChannelsInitialised = 7;

SpiLineChips::LineState DecodeState(uint8_t status) {
  if ((status & 0x01) == 0) {
    return SpiLineChips::LineState::lossCarrier;
  }
  if ((status & 0x04) == 0) {
    return SpiLineChips::LineState::lossBF;
  }
  switch (status & 0xC0) {
    case 0x80:
      return SpiLineChips::LineState::rai;
    case 0xC0:
      return SpiLineChips::LineState::normal;
    default:
      return SpiLineChips::LineState::ais;
  }
}

}  // namespace

SpiLineChips::SpiLineChips() {
  init_device_and_channels();
}

SpiLineChips::~SpiLineChips() {
  if (fd_ < 0) {
    return;
  }
  for (int channel = 0; channel < kChannels; ++channel) {
    disable_channel(channel);
  }
  clock(-1);
  platform::Close(fd_);
}

std::optional<int> SpiLineChips::Request(unsigned long request, int channel, int address, int data) {
  uint8_t record[3] = {static_cast<uint8_t>(channel), static_cast<uint8_t>(address), static_cast<uint8_t>(data)};
  const int result = platform::Ioctl(fd_, request, record);
  if (result >= 0) {
    return result;
  }
  if (errno == ENODEV) {
    std::clog << "spi: hal without spi" << std::endl;
    present_ = false;
  }
  return std::nullopt;
}

void SpiLineChips::write(int channel, int address, int data) {
  if (fd_ < 0 || !present_) {
    return;
  }
  if (!Request(kWriteRequest, channel, address, data) && present_) {
    std::clog << "spi: write error: channel=" << channel << " addr=" << address << " data=" << data << std::endl;
  }
}

std::optional<uint8_t> SpiLineChips::ReadRegister(int channel, int address) {
  if (fd_ < 0 || !present_) {
    return std::nullopt;
  }
  const auto result = Request(kReadRequest, channel, address, 0xFF);
  if (!result) {
    if (present_) {
      std::clog << "spi: read error: channel=" << channel << " addr=" << address << std::endl;
    }
    return std::nullopt;
  }
  return static_cast<uint8_t>(*result);
}

uint8_t SpiLineChips::read(int channel, int address) {
  return ReadRegister(channel, address).value_or(0);
}

void SpiLineChips::init_device_and_channels() {
  if (fd_ >= 0 || !present_) {
    return;
  }
  std::clog << "spi: try init" << std::endl;
  fd_ = platform::Open(kHalDevice, O_RDWR | O_CLOEXEC);
  if (fd_ < 0) {
    std::clog << "spi: /dev/hal open fail" << std::endl;
    return;
  }
  for (int channel = 0; channel < kChannelsInitialised; ++channel) {
    init_channel(channel);
    enable_channel(channel);
  }
}

bool SpiLineChips::IsValidChannel(int channel, const char* operation) const {
  if (channel >= 0 && channel < kChannels) {
    return true;
  }
  std::clog << "spi: bad channel for " << operation << " " << channel << std::endl;
  return false;
}

void SpiLineChips::init_channel(int channel) {
  if (!present_ || !IsValidChannel(channel, "init")) {
    return;
  }
  init_device_and_channels();
  write(channel, kEnableRegister, kDisabled);
  write(channel, kConfigRegister, 0x08);
  write(channel, kClockRegister, kClockNormal);
  write(channel, kLineRegister, 0x60);
  for (int address = 0x35; address <= 0x37; ++address) {
    write(channel, address, 0);
  }
  std::clog << "spi: init channel " << channel << std::endl;
}

void SpiLineChips::enable_channel(int channel) {
  if (!present_ || !IsValidChannel(channel, "enable")) {
    return;
  }
  init_device_and_channels();
  write(channel, kEnableRegister, kEnabled);
  std::clog << "spi: enable channel " << channel << std::endl;
}

void SpiLineChips::disable_channel(int channel) {
  if (!present_ || !IsValidChannel(channel, "disable")) {
    return;
  }
  init_device_and_channels();
  write(channel, kEnableRegister, kDisabled);
  std::clog << "spi: disable channel " << channel << std::endl;
}

void SpiLineChips::clock(int channel) {
  if (!present_) {
    return;
  }
  if (channel != -1 && !IsValidChannel(channel, "set clock master")) {
    return;
  }
  init_device_and_channels();
  for (int other = 0; other < kChannels; ++other) {
    write(other, kClockRegister, kClockNormal);
  }
  if (channel == -1) {
    std::clog << "spi: clock master disabled" << std::endl;
    return;
  }
  write(channel, kClockRegister, kClockMaster);
  std::clog << "spi: set clock master on channel " << channel << std::endl;
}

std::optional<SpiLineChips::LineStatus> SpiLineChips::ReadStatus(int channel) {
  const auto status = ReadRegister(channel, kStatusRegister);
  if (!status) {
    return std::nullopt;
  }
  int slips = 0;
  if ((*status & 0x20) == 0) {
    slips_edge_ = false;
  } else if (!slips_edge_) {
    slips = 1;
    slips_edge_ = true;
  }
  return LineStatus{DecodeState(*status), slips};
}
