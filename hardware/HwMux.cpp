#include "hardware/HwMux.h"

#include "platform/ByteOrder.h"
#include "platform/Clock.h"
#include "platform/Device.h"
#include "runtime/clock/Mux.h"
#include "runtime/log/Ext.h"

#include <fcntl.h>

#include <cassert>
#include <cerrno>
#include <cstring>
#include <iostream>

namespace {

constexpr char kHalDevice[] = "/dev/hal";

constexpr unsigned long kConnectRequest = 0x80084d02;
constexpr unsigned long kDisableRequest = 0x80044d03;
constexpr unsigned long kWriteRequest = 0xc0084d04;
constexpr unsigned long kReadRequest = 0xc0084d05;

// The byte an output sends after a disconnect: the idle pattern of the line.
constexpr unsigned kIdleByte = 0xD5;
constexpr unsigned kRefreshPerPass = 128;

bool IsBusOutput(int channel) {
  return channel >= HwMux::kFirstOutput && channel < HwMux::kFirstOutput + HwMux::kOutputCount;
}

}  // namespace

HwMux& HwMux::instance() {
  static HwMux mux;
  return mux;
}

HwMux::HwMux() {
  for (auto& entry : shadow_) {
    entry = kDisabled;
  }
  std::clog << "hwMux: init" << std::endl;
  refresh_.Bind(this, &HwMux::OnDPC);
  (void)EnsureOpen();
}

HwMux::~HwMux() {
  refresh_.Deactivate();
  if (fd_ >= 0) {
    platform::Close(fd_);
  }
}

bool HwMux::EnsureOpen() {
  if (fd_ >= 0) {
    return true;
  }
  fd_ = platform::Open(kHalDevice, O_RDWR | O_CLOEXEC);
  if (fd_ < 0) {
    std::clog << "hwMux: can't open device: " << std::strerror(errno) << std::endl;
    return false;
  }
  std::clog << "hwMux: device opened" << std::endl;
  for (int i = 0; i < kOutputCount; ++i) {
    shadow_[i] = kDisabled;
    (void)Request(kDisableRequest, kFirstOutput + i, 0, nullptr);
  }
  refresh_index_ = 0;
  refresh_.Activate();
  platform::SleepMicroseconds(500);
  return true;
}

void HwMux::SetShadow(int output, uint16_t state) {
  if (IsBusOutput(output)) {
    shadow_[output - kFirstOutput] = state;
    return;
  }
  // Other channels have no shadow entry; only their source is kept, for Carries.
  if (state == kDisabled || state == kConstant) {
    line_sources_.erase(output);
  } else {
    line_sources_[output] = state;
  }
}

bool HwMux::Carries(int output, int source) const {
  if (IsBusOutput(output)) {
    return shadow_[output - kFirstOutput] == source;
  }
  const auto found = line_sources_.find(output);
  return found != line_sources_.end() && found->second == source;
}

uint16_t HwMux::Shadow(int output) const {
  assert(IsBusOutput(output) && "only bus outputs have a shadow entry");
  return shadow_[output - kFirstOutput];
}

int HwMux::Request(unsigned long request, int32_t first, int32_t second, int32_t* answer) {
  uint8_t record[8] = {};
  platform::BeWriter writer(record, sizeof record);
  writer.I32(first);
  if (request != kDisableRequest) {
    writer.I32(second);
  }
  const int error = platform::Ioctl(fd_, request, record) < 0 ? errno : 0;
  if (answer != nullptr) {
    *answer = static_cast<int32_t>(platform::LoadBe32(record + 4));
  }
  return error;
}

bool HwMux::Connect(int source, int destination) {
  if (!EnsureOpen() || source < 0 || destination < 0) {
    std::clog << "hwMux: ERROR not opened" << std::endl;
    return false;
  }
  if (source >= kChannelCount || destination >= kChannelCount) {
    std::clog << "hwMux: connect " << source << " -> " << destination << " refused: no such channel" << std::endl;
    return false;
  }
  SetShadow(destination, static_cast<uint16_t>(source));
  if (const int error = Request(kConnectRequest, destination, source, nullptr)) {
    std::clog << "hwMux: connect " << source << " -> " << destination << " failed: " << std::strerror(error)
              << std::endl;
    return false;
  }
  return true;
}

bool HwMux::Disconnect(int output) {
  if (!EnsureOpen() || output < 0) {
    return false;
  }
  SetShadow(output, kConstant);
  if (const int error = Request(kWriteRequest, output, kIdleByte, nullptr)) {
    std::clog << "hwMux: disconnect failed " << output << " : " << std::strerror(error) << std::endl;
    return false;
  }
  return true;
}

bool HwMux::Disable(int output) {
  if (!EnsureOpen() || output < 0) {
    return false;
  }
  SetShadow(output, kDisabled);
  if (const int error = Request(kDisableRequest, output, 0, nullptr)) {
    std::clog << "hwMux: disable failed " << output << " : " << std::strerror(error) << std::endl;
    return false;
  }
  return true;
}

bool HwMux::Write(int output, unsigned value) {
  if (!EnsureOpen() || output < 0) {
    return false;
  }
  SetShadow(output, kConstant);
  if (const int error = Request(kWriteRequest, output, static_cast<int32_t>(value), nullptr)) {
    std::clog << "hwMux: write failed " << output << " <- " << ext::OutUnsignedInHex(value, 0) << " : "
              << std::strerror(error) << std::endl;
    return false;
  }
  return true;
}

std::optional<uint8_t> HwMux::Read(int channel) {
  if (!EnsureOpen() || channel < 0) {
    return std::nullopt;
  }
  int32_t value = 255;
  if (const int error = Request(kReadRequest, channel, 255, &value)) {
    std::clog << "hwMux: read failed " << channel << " -> " << ext::OutUnsignedInHex(static_cast<uint32_t>(value), 0)
              << " : " << std::strerror(error) << std::endl;
    return std::nullopt;
  }
  return static_cast<uint8_t>(value);
}

void HwMux::OnDPC() {
  // The deferred calls run twice a pass, and a busy loop makes passes far
  // shorter than a millisecond. Pacing by the loop clock gives an idle loop
  // one step a pass, and keeps a loaded one at 128 requests a millisecond: a
  // whole sweep in 16 ms instead of a pass's worth of device requests per
  // command served.
  const uint32_t now = Mux::milliseconds();
  if (last_refresh_ms_ == now) {
    return;
  }
  last_refresh_ms_ = now;
  for (unsigned i = 0; i < kRefreshPerPass; ++i) {
    refresh_index_ = (refresh_index_ + 1) % kOutputCount;
    if (shadow_[refresh_index_] == kDisabled) {
      (void)Request(kDisableRequest, kFirstOutput + static_cast<int>(refresh_index_), 0, nullptr);
    }
  }
}
