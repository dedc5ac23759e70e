#include "platform/sim/E1CasDriver.h"

#include "platform/sim/Board.h"
#include "platform/sim/ControlArgs.h"

#include <cerrno>
#include <string>

namespace sim {
namespace {

// Channel record: int32 trunk, int32 timeslot, uint8 rx, uint8 tx, 2 bytes padding.
constexpr size_t kTrunkOffset = 0;
constexpr size_t kTimeslotOffset = 4;
constexpr size_t kRxOffset = 8;
constexpr size_t kTxOffset = 9;
constexpr size_t kChannelRecordSize = 12;
// Configure record: the channel record's first ten bytes, then int32 mode at 12.
constexpr size_t kBitsOffset = 9;
constexpr size_t kModeOffset = 12;

constexpr uint8_t kBitsMask = 0x0F;

}  // namespace

E1CasDriver::E1CasDriver() : Driver(kPath) {
  HandleValue(0x80044300, [this](OpenFile&, unsigned long trunk) { return OpenTrunk(trunk, true); });
  HandleValue(0x80044301, [this](OpenFile&, unsigned long trunk) { return OpenTrunk(trunk, false); });
  HandleRecord(0xc00c4302, kChannelRecordSize, [this](OpenFile&, Record& r) { return SetBits(r); });
  HandleRecord(0xc00c4303, kChannelRecordSize, [this](OpenFile&, Record& r) { return GetBits(r); });
  HandleRecord(0xc0104304, 16, [this](OpenFile&, Record& r) { return Configure(r); });
  // rx <trunk> <timeslot> <bits>: the timeslot receives new signalling bits.
  AddCommand("rx", [this](const std::vector<std::string>& args) {
    ControlArgs in(args, "rx <trunk> <timeslot> <bits>", 3);
    const std::optional<int> trunk = in.Int("trunk", 0, kTrunks - 1);
    const std::optional<int> timeslot = in.Int("timeslot", 0, kTimeslots - 1);
    const std::optional<int> bits = in.Int("bits", 0, kBitsMask);
    if (in.Refused()) {
      return in.Refusal();
    }
    ReceiveBits(*trunk, *timeslot, static_cast<uint8_t>(*bits));
    return Reply{true, ""};
  });
  // channel <trunk> <timeslot>: "closed" or "open rx <bits> tx <bits>".
  AddCommand("channel", [this](const std::vector<std::string>& args) {
    ControlArgs in(args, "channel <trunk 0-3> <timeslot 0-31>", 2);
    const std::optional<int> trunk = in.Int("trunk", 0, kTrunks - 1);
    const std::optional<int> timeslot = in.Int("timeslot", 0, kTimeslots - 1);
    if (in.Refused()) {
      return in.Refusal();
    }
    const Channel channel = ChannelOf(*trunk, *timeslot);
    if (!channel.configured) {
      return Reply{true, "closed"};
    }
    return Reply{true, "open rx " + std::to_string(channel.rx) + " tx " + std::to_string(channel.tx)};
  });
}

long E1CasDriver::OpenTrunk(unsigned long trunk, bool open) {
  if (trunk >= kTrunks) {
    return -EINVAL;
  }
  trunk_open_[trunk] = open;
  return 0;
}

bool E1CasDriver::IsOpenChannel(int32_t trunk, int32_t timeslot) const {
  return trunk >= 0 && trunk < kTrunks && timeslot >= 0 && timeslot < kTimeslots && trunk_open_[trunk];
}

long E1CasDriver::Configure(Record& record) {
  const int32_t trunk = record.I32(kTrunkOffset);
  const int32_t timeslot = record.I32(kTimeslotOffset);
  const int32_t mode = record.I32(kModeOffset);
  if (!IsOpenChannel(trunk, timeslot) || (mode != 0 && mode != 1)) {
    return -EINVAL;
  }
  Channel& channel = channels_[trunk][timeslot];
  channel.configured = mode == 0;
  channel.tx = static_cast<uint8_t>(record.U8(kBitsOffset) & kBitsMask);
  return 0;
}

long E1CasDriver::SetBits(Record& record) {
  const int32_t trunk = record.I32(kTrunkOffset);
  const int32_t timeslot = record.I32(kTimeslotOffset);
  if (!IsOpenChannel(trunk, timeslot) || !channels_[trunk][timeslot].configured) {
    return -EINVAL;
  }
  channels_[trunk][timeslot].tx = static_cast<uint8_t>(record.U8(kTxOffset) & kBitsMask);
  return 0;
}

long E1CasDriver::GetBits(Record& record) const {
  const int32_t trunk = record.I32(kTrunkOffset);
  const int32_t timeslot = record.I32(kTimeslotOffset);
  if (!IsOpenChannel(trunk, timeslot)) {
    return -EINVAL;
  }
  const Channel& channel = channels_[trunk][timeslot];
  record.SetU8(kRxOffset, channel.rx).SetU8(kTxOffset, channel.tx);
  return 0;
}

bool E1CasDriver::IsTrunkOpen(int trunk) const {
  auto lock = Board::Lock();
  return trunk_open_.at(trunk);
}

E1CasDriver::Channel E1CasDriver::ChannelOf(int trunk, int timeslot) const {
  auto lock = Board::Lock();
  return channels_.at(trunk).at(timeslot);
}

void E1CasDriver::ReceiveBits(int trunk, int timeslot, uint8_t bits) {
  auto lock = Board::Lock();
  Channel& channel = channels_.at(trunk).at(timeslot);
  channel.rx = static_cast<uint8_t>(bits & kBitsMask);
  if (!trunk_open_[trunk] || !channel.configured) {
    return;
  }
  Record event(kChannelRecordSize);
  event.SetI32(kTrunkOffset, trunk).SetI32(kTimeslotOffset, timeslot);
  event.SetU8(kRxOffset, channel.rx).SetU8(kTxOffset, channel.tx);
  for (OpenFile* file : Opens()) {
    (void)Deliver(*file, event.Bytes());
  }
}

}  // namespace sim
