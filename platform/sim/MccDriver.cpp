#include "platform/sim/MccDriver.h"

#include "platform/BoardPath.h"
#include "platform/sim/Board.h"
#include "platform/sim/ControlArgs.h"
#include "platform/sim/HalDriver.h"

#include <algorithm>
#include <cerrno>
#include <string>

namespace sim {
namespace {

// Allocation record: five uint32: type, rx packet size, reserved (0), rx
// threshold, tx threshold.
constexpr unsigned long kAllocate = 0x40144d00;
constexpr size_t kAllocateSize = 20;
constexpr size_t kTypeOffset = 0;
constexpr size_t kRxPacketSizeOffset = 4;
constexpr size_t kReservedOffset = 8;
constexpr size_t kRxThresholdOffset = 12;
constexpr size_t kTxThresholdOffset = 16;
constexpr unsigned long kSwitchChannel = 0x20004d02;
// Query record: four uint32: free data, bri and transparent channels, and the
// controller's channel count. One pool serves every type.
constexpr unsigned long kQuery = 0x80104d03;
constexpr size_t kQuerySize = 16;

constexpr uint32_t kLargestPacket = 65536;

constexpr int kLastSwitchChannel = TdmSwitch::kChannelEnd - 1;
constexpr int kLastMccChannel = MccDriver::kFirstSwitchChannel + MccDriver::kChannels - 1;

// An MCC channel, by its switch channel.
std::optional<int> TakeChannel(ControlArgs& in) {
  return in.Int("channel", MccDriver::kFirstSwitchChannel, kLastMccChannel);
}

// A line endpoint: a switch channel that is not an MCC channel.
std::optional<int> TakeLine(ControlArgs& in) {
  const std::optional<int> line = in.Int("line", 0, kLastSwitchChannel);
  if (line && *line >= MccDriver::kFirstSwitchChannel && *line <= kLastMccChannel) {
    in.Refuse("line", "an MCC channel, not a line");
    return std::nullopt;
  }
  return line;
}

Reply NotAllocated(int channel) {
  return Reply{false, "channel " + std::to_string(channel) + " is not allocated"};
}

}  // namespace

struct MccDriver::PerOpen : OpenFile::State {
  int index = -1;  // -1 until allocated
  uint32_t type = 0;
  uint32_t rx_packet_size = 0;
  uint32_t rx_threshold = 0;
  uint32_t tx_threshold = 0;
  bool blocked = false;
  // Frames kept for a test to take; older ones are dropped.
  History<std::vector<uint8_t>> transmitted;
};

MccDriver::MccDriver() : Driver(kPath) {
  HandleRecord(kAllocate, kAllocateSize, [this](OpenFile& file, Record& r) { return Allocate(file, r); });
  HandleValue(kSwitchChannel, [this](OpenFile& file, unsigned long) { return SwitchChannel(file); });
  HandleRecord(kQuery, kQuerySize, [this](OpenFile&, Record& r) { return Query(r); });
  AddCommands();
}

long MccDriver::OnOpen(OpenFile& file) {
  file.state = std::make_unique<PerOpen>();
  return 0;
}

void MccDriver::OnRelease(OpenFile& file) {
  const int index = file.StateAs<PerOpen>().index;
  if (index >= 0) {
    channels_[static_cast<size_t>(index)] = nullptr;
  }
}

long MccDriver::Allocate(OpenFile& file, Record& record) {
  // A channel whose descriptor was just closed is free to hand out.
  Board::instance().Sweep();
  PerOpen& channel = file.StateAs<PerOpen>();
  if (channel.index >= 0) {
    return -EBUSY;
  }
  const uint32_t type = record.U32(kTypeOffset);
  const uint32_t rx_packet_size = record.U32(kRxPacketSizeOffset);
  if (type > kSs7 || record.U32(kReservedOffset) != 0 || rx_packet_size == 0 || rx_packet_size > kLargestPacket) {
    return -EINVAL;
  }
  auto free = std::find(channels_.begin(), channels_.end(), nullptr);
  if (free == channels_.end()) {
    return -ENOSPC;
  }
  *free = &file;
  channel.index = static_cast<int>(free - channels_.begin());
  channel.type = type;
  channel.rx_packet_size = rx_packet_size;
  channel.rx_threshold = record.U32(kRxThresholdOffset);
  channel.tx_threshold = record.U32(kTxThresholdOffset);
  return 0;
}

long MccDriver::SwitchChannel(OpenFile& file) const {
  const int index = file.StateAs<PerOpen>().index;
  return index < 0 ? -EINVAL : kFirstSwitchChannel + index;
}

long MccDriver::Query(Record& record) const {
  Board::instance().Sweep();
  const auto free = static_cast<uint32_t>(std::count(channels_.begin(), channels_.end(), nullptr));
  record.SetU32(0, free).SetU32(4, free).SetU32(8, free).SetU32(12, kChannels);
  return 0;
}

long MccDriver::OnWrite(OpenFile& file, const std::vector<uint8_t>& record) {
  PerOpen& channel = file.StateAs<PerOpen>();
  if (channel.index < 0 || (record.empty() && channel.type != kTransparent)) {
    return -EINVAL;
  }
  if (channel.blocked) {
    return -EAGAIN;
  }
  channel.transmitted.Add(record);
  Tap(kFirstSwitchChannel + channel.index, true, record);
  Route(kFirstSwitchChannel + channel.index, record);
  return 0;
}

bool MccDriver::IsChannel(int end) {
  return end >= kFirstSwitchChannel && end < kFirstSwitchChannel + kChannels;
}

void MccDriver::Route(int switch_channel, const std::vector<uint8_t>& frame) {
  HalDriver* hal = Board::instance().Find<HalDriver>(HalDriver::kPath);
  if (hal == nullptr) {
    return;
  }
  const TdmSwitch& tdm = hal->Switch();
  for (int line : tdm.OutputsCarrying(switch_channel)) {
    if (!IsChannel(line)) {
      sent_on_line_[line].Add(frame);
      Tap(line, true, frame);
    }
  }
  for (Cable& cable : cables_) {
    for (int side = 0; side < 2; ++side) {
      if (tdm.OutputOf(cable.ends[side]) == TdmSwitch::Output{TdmSwitch::Carries::source, switch_channel}) {
        for (unsigned copies = cable.leaving[side].Copies(); copies > 0; --copies) {
          Arrive(tdm, cable.ends[1 - side], frame);
        }
      }
    }
  }
}

void MccDriver::Arrive(const TdmSwitch& tdm, int line, const std::vector<uint8_t>& frame) {
  Tap(line, false, frame);
  const TdmSwitch::Output from{TdmSwitch::Carries::source, line};
  for (OpenFile* file : channels_) {
    if (file == nullptr) {
      continue;
    }
    const PerOpen& channel = file->StateAs<PerOpen>();
    const int switch_channel = kFirstSwitchChannel + channel.index;
    if (tdm.OutputOf(switch_channel) == from && frame.size() <= channel.rx_packet_size && Deliver(*file, frame)) {
      Tap(switch_channel, false, frame);
    }
  }
}

void MccDriver::Tap(int end, bool sent, const std::vector<uint8_t>& frame) {
  const auto tap = taps_.find(end);
  if (tap != taps_.end()) {
    tap->second.Write(sent, frame);
  }
}

bool MccDriver::ReceiveOnLine(int line, const std::vector<uint8_t>& frame) {
  auto lock = Board::Lock();
  Board::instance().Sweep();
  HalDriver* hal = Board::instance().Find<HalDriver>(HalDriver::kPath);
  if (hal == nullptr || line < 0 || IsChannel(line) || frame.empty()) {
    return false;
  }
  Arrive(hal->Switch(), line, frame);
  return true;
}

std::vector<std::vector<uint8_t>> MccDriver::TakeSentOnLine(int line) {
  auto lock = Board::Lock();
  Board::instance().Sweep();
  auto& sent = sent_on_line_[line];
  std::vector<std::vector<uint8_t>> frames = sent.Items();
  sent.Clear();
  return frames;
}

bool MccDriver::StartTap(int end, const std::string& path, PcapTap::Kind kind) {
  auto lock = Board::Lock();
  taps_.erase(end);
  if (!taps_[end].Open(path, kind)) {
    taps_.erase(end);
    return false;
  }
  return true;
}

bool MccDriver::StopTap(int end) {
  auto lock = Board::Lock();
  return taps_.erase(end) > 0;
}

MccDriver::Cable* MccDriver::CableAt(int end) {
  for (Cable& cable : cables_) {
    if (cable.ends[0] == end || cable.ends[1] == end) {
      return &cable;
    }
  }
  return nullptr;
}

bool MccDriver::JoinLines(int a, int b) {
  return Join(a, b, false);
}

bool MccDriver::AttachToBus(int network, int terminal) {
  return Join(network, terminal, true);
}

bool MccDriver::Join(int a, int b, bool bus) {
  auto lock = Board::Lock();
  // A bus's network end takes more terminals; any other end is taken once.
  const bool a_free = std::all_of(cables_.begin(), cables_.end(), [&](const Cable& c) {
    return (c.ends[0] != a && c.ends[1] != a) || (bus && c.bus && c.ends[0] == a);
  });
  if (a == b || a < 0 || b < 0 || IsChannel(a) || IsChannel(b) || !a_free || CableAt(b) != nullptr) {
    return false;
  }
  cables_.push_back(Cable{{a, b}, {}, bus});
  return true;
}

bool MccDriver::SetImpairments(int end, const LineImpairments& impairments) {
  auto lock = Board::Lock();
  bool found = false;
  for (Cable& cable : cables_) {
    for (int side = 0; side < 2; ++side) {
      if (cable.ends[side] == end) {
        cable.leaving[side].impairments = impairments;
        found = true;
      }
    }
  }
  return found;
}

OpenFile* MccDriver::FindChannel(int switch_channel) const {
  const int index = switch_channel - kFirstSwitchChannel;
  if (index < 0 || index >= kChannels) {
    return nullptr;
  }
  return channels_[static_cast<size_t>(index)];
}

MccDriver::Channel MccDriver::Describe(OpenFile& file) {
  const PerOpen& channel = file.StateAs<PerOpen>();
  return Channel{kFirstSwitchChannel + channel.index,
                 channel.type,
                 channel.rx_packet_size,
                 channel.rx_threshold,
                 channel.tx_threshold,
                 file.Flags(),
                 channel.blocked};
}

std::vector<MccDriver::Channel> MccDriver::Channels() const {
  auto lock = Board::Lock();
  Board::instance().Sweep();
  std::vector<Channel> channels;
  for (OpenFile* file : channels_) {
    if (file != nullptr) {
      channels.push_back(Describe(*file));
    }
  }
  return channels;
}

std::optional<MccDriver::Channel> MccDriver::ChannelOf(int switch_channel) const {
  auto lock = Board::Lock();
  Board::instance().Sweep();
  OpenFile* file = FindChannel(switch_channel);
  if (file == nullptr) {
    return std::nullopt;
  }
  return Describe(*file);
}

bool MccDriver::Receive(int switch_channel, const std::vector<uint8_t>& bytes) {
  auto lock = Board::Lock();
  Board::instance().Sweep();
  OpenFile* file = FindChannel(switch_channel);
  if (file == nullptr || bytes.empty()) {
    return false;
  }
  const PerOpen& channel = file->StateAs<PerOpen>();
  if (channel.type != kTransparent) {
    if (bytes.size() > channel.rx_packet_size || !Deliver(*file, bytes)) {
      return false;
    }
    Tap(switch_channel, false, bytes);
    return true;
  }
  for (size_t start = 0; start < bytes.size(); start += channel.rx_packet_size) {
    const size_t end = std::min<size_t>(bytes.size(), start + channel.rx_packet_size);
    if (!Deliver(*file, std::vector<uint8_t>(bytes.begin() + start, bytes.begin() + end))) {
      return false;
    }
  }
  return true;
}

bool MccDriver::ReceiveError(int switch_channel, int error) {
  auto lock = Board::Lock();
  Board::instance().Sweep();
  OpenFile* file = FindChannel(switch_channel);
  return file != nullptr && DeliverError(*file, error);
}

std::vector<std::vector<uint8_t>> MccDriver::TakeTransmitted(int switch_channel) {
  auto lock = Board::Lock();
  Board::instance().Sweep();
  OpenFile* file = FindChannel(switch_channel);
  if (file == nullptr) {
    return {};
  }
  auto& transmitted = file->StateAs<PerOpen>().transmitted;
  std::vector<std::vector<uint8_t>> frames = transmitted.Items();
  transmitted.Clear();
  return frames;
}

bool MccDriver::SetBlocked(int switch_channel, bool blocked) {
  auto lock = Board::Lock();
  Board::instance().Sweep();
  OpenFile* file = FindChannel(switch_channel);
  if (file == nullptr) {
    return false;
  }
  file->StateAs<PerOpen>().blocked = blocked;
  if (!blocked) {
    Resume(*file);
  }
  return true;
}

void MccDriver::AddCommands() {
  // channels: "<switch channel>:<type>" for each allocated channel.
  AddCommand("channels", [this](const std::vector<std::string>& args) {
    if (!args.empty()) {
      return Reply{false, "usage: channels"};
    }
    std::string text;
    for (const Channel& channel : Channels()) {
      text += (text.empty() ? "" : " ") + std::to_string(channel.switch_channel) + ":" + std::to_string(channel.type);
    }
    return Reply{true, text};
  });
  // rx <channel> <hex bytes>: the channel receives a frame (or a burst).
  AddCommand("rx", [this](const std::vector<std::string>& args) {
    ControlArgs in(args, "rx <channel> <hex bytes>", 2);
    const std::optional<int> channel = TakeChannel(in);
    const std::optional<std::vector<uint8_t>> bytes = in.Bytes("bytes");
    if (in.Refused()) {
      return in.Refusal();
    }
    const std::optional<Channel> held = ChannelOf(*channel);
    if (!held) {
      return NotAllocated(*channel);
    }
    if (held->type != kTransparent && bytes->size() > held->rx_packet_size) {
      return Reply{false, "a frame of " + std::to_string(bytes->size()) + " bytes is longer than channel " +
                              std::to_string(*channel) + " receives (" + std::to_string(held->rx_packet_size) + ")"};
    }
    if (!Receive(*channel, *bytes)) {
      return Reply{false, "the receive queue of channel " + std::to_string(*channel) + " is full"};
    }
    return Reply{true, ""};
  });
  // rx-error <channel> <errno>: the channel's receiver fails.
  AddCommand("rx-error", [this](const std::vector<std::string>& args) {
    ControlArgs in(args, "rx-error <channel> <errno>", 2);
    const std::optional<int> channel = TakeChannel(in);
    const std::optional<int> error = in.Errno("errno");
    if (in.Refused()) {
      return in.Refusal();
    }
    if (!ChannelOf(*channel)) {
      return NotAllocated(*channel);
    }
    if (!ReceiveError(*channel, *error)) {
      return Reply{false, "the receive queue of channel " + std::to_string(*channel) + " is full"};
    }
    return Reply{true, ""};
  });
  // tx <channel>: the frames written since the last look, in hex, oldest first.
  AddCommand("tx", [this](const std::vector<std::string>& args) {
    ControlArgs in(args, "tx <channel>", 1);
    const std::optional<int> channel = TakeChannel(in);
    if (in.Refused()) {
      return in.Refusal();
    }
    if (!ChannelOf(*channel)) {
      return NotAllocated(*channel);
    }
    return Reply{true, HexFrames(TakeTransmitted(*channel))};
  });
  // cable <line> <line>: joins two line endpoints. bus <network line>
  // <terminal line>: attaches a terminal to a BRI bus.
  for (const bool bus : {false, true}) {
    AddCommand(bus ? "bus" : "cable", [this, bus](const std::vector<std::string>& args) {
      ControlArgs in(args, bus ? "bus <network line> <terminal line>" : "cable <line> <line>", 2);
      const std::optional<int> a = TakeLine(in);
      const std::optional<int> b = TakeLine(in);
      if (in.Refused()) {
        return in.Refusal();
      }
      if (!Join(*a, *b, bus)) {
        return JoinRefusal(*a, *b);
      }
      return Reply{true, ""};
    });
  }
  // impair <line> <drop every> <duplicate every> cut|through: what the cable
  // does to frames leaving that end.
  AddCommand("impair", [this](const std::vector<std::string>& args) {
    ControlArgs in(args, "impair <line> <drop every> <duplicate every> cut|through", 4);
    const std::optional<int> end = TakeLine(in);
    const std::optional<LineImpairments> impairments = in.Impairments();
    if (in.Refused()) {
      return in.Refusal();
    }
    if (!SetImpairments(*end, *impairments)) {
      return Reply{false, "line " + std::to_string(*end) + " has no cable"};
    }
    return Reply{true, ""};
  });
  // line-rx <line> <hex bytes>: a frame arrives on the line endpoint.
  AddCommand("line-rx", [this](const std::vector<std::string>& args) {
    ControlArgs in(args, "line-rx <line> <hex bytes>", 2);
    const std::optional<int> line = TakeLine(in);
    const std::optional<std::vector<uint8_t>> bytes = in.Bytes("bytes");
    if (in.Refused()) {
      return in.Refusal();
    }
    if (!ReceiveOnLine(*line, *bytes)) {
      return Reply{false, "no TDM switch on the board"};
    }
    return Reply{true, ""};
  });
  // line-tx <line>: the frames sent on the line endpoint since the last look, in hex.
  AddCommand("line-tx", [this](const std::vector<std::string>& args) {
    ControlArgs in(args, "line-tx <line>", 1);
    const std::optional<int> line = TakeLine(in);
    if (in.Refused()) {
      return in.Refusal();
    }
    return Reply{true, HexFrames(TakeSentOnLine(*line))};
  });
  // tap <line or channel> <file> mtp2|lapd-user|lapd-network: captures what
  // passes there into a pcap file in the board root; untap <line or channel> ends it.
  AddCommand("tap", [this](const std::vector<std::string>& args) {
    ControlArgs in(args, "tap <line or channel> <file name> mtp2|lapd-user|lapd-network", 3);
    const std::optional<int> end = in.Int("line or channel", 0, kLastSwitchChannel);
    const std::optional<std::string> name = in.Text();
    if (name && (name->empty() || name->find('/') != std::string::npos || *name == "." || *name == "..")) {
      in.Refuse("file name", "a name without / (the capture goes in the board root)");
    }
    const std::optional<std::string> kind_word = in.Text();
    const std::optional<PcapTap::Kind> kind = kind_word ? PcapTap::ParseKind(*kind_word) : std::nullopt;
    if (kind_word && !kind) {
      in.Refuse("kind", "not mtp2|lapd-user|lapd-network");
    }
    if (in.Refused()) {
      return in.Refusal();
    }
    if (!StartTap(*end, platform::BoardPath("/" + *name), *kind)) {
      return Reply{false, "cannot write " + *name + " in the board root"};
    }
    return Reply{true, ""};
  });
  AddCommand("untap", [this](const std::vector<std::string>& args) {
    ControlArgs in(args, "untap <line or channel>", 1);
    const std::optional<int> end = in.Int("line or channel", 0, kLastSwitchChannel);
    if (in.Refused()) {
      return in.Refusal();
    }
    if (!StopTap(*end)) {
      return Reply{false, "no tap on " + std::to_string(*end)};
    }
    return Reply{true, ""};
  });
  // block <channel> on|off: the channel refuses frames, or takes them again.
  AddCommand("block", [this](const std::vector<std::string>& args) {
    ControlArgs in(args, "block <channel> on|off", 2);
    const std::optional<int> channel = TakeChannel(in);
    const std::optional<bool> on = in.OnOff("setting");
    if (in.Refused()) {
      return in.Refusal();
    }
    if (!SetBlocked(*channel, *on)) {
      return NotAllocated(*channel);
    }
    return Reply{true, ""};
  });
}

Reply MccDriver::JoinRefusal(int a, int b) {
  if (a == b) {
    return Reply{false, "both ends are line " + std::to_string(a)};
  }
  return Reply{false, "line " + std::to_string(CableAt(b) != nullptr ? b : a) + " already has a cable"};
}

}  // namespace sim
