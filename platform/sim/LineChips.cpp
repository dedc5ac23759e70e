#include "platform/sim/LineChips.h"

#include "platform/sim/Board.h"

#include <cerrno>

namespace sim {
namespace {

constexpr int kEnableRegister = 0x32;
// Power-on state: the line is up and framed, the chip not yet enabled.
constexpr uint8_t kStatusLineUp = 0xC5;
constexpr uint8_t kChipDisabled = 0x80;

}  // namespace

LineChips::LineChips() {
  for (auto& chip : registers_) {
    chip[kStatusRegister] = kStatusLineUp;
    chip[kEnableRegister] = kChipDisabled;
  }
}

long LineChips::Write(int channel, int address, int data) {
  if (!present_) {
    return -ENODEV;
  }
  if (channel >= kChannels) {
    return -EINVAL;
  }
  registers_[channel][address] = static_cast<uint8_t>(data);
  requests_.Add({true, channel, address, data});
  return 0;
}

long LineChips::Read(int channel, int address) {
  if (!present_) {
    return -ENODEV;
  }
  if (channel >= kChannels) {
    return -EINVAL;
  }
  requests_.Add({false, channel, address, 0});
  return registers_[channel][address];
}

uint8_t LineChips::Register(int channel, int address) const {
  auto lock = Board::Lock();
  return registers_.at(channel).at(address);
}

void LineChips::SetRegister(int channel, int address, uint8_t value) {
  auto lock = Board::Lock();
  registers_.at(channel).at(address) = value;
}

void LineChips::SetCarrier(int channel, bool carrier) {
  auto lock = Board::Lock();
  auto& status = registers_.at(channel)[kStatusRegister];
  status = static_cast<uint8_t>(carrier ? status | 0x01 : status & ~0x01);
}

void LineChips::SetPresent(bool present) {
  auto lock = Board::Lock();
  present_ = present;
}

std::vector<LineChips::Request> LineChips::Requests() const {
  auto lock = Board::Lock();
  return requests_.Items();
}

void LineChips::ClearRequests() {
  auto lock = Board::Lock();
  requests_.Clear();
}

}  // namespace sim
