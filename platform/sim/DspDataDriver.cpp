#include "platform/sim/DspDataDriver.h"

#include "platform/sim/Board.h"
#include "platform/sim/ControlArgs.h"
#include "platform/sim/History.h"

#include <algorithm>
#include <cerrno>

namespace sim {
namespace {

constexpr unsigned long kChannelId = 0x40044211;
constexpr size_t kChannelIdSize = 4;
// B channel records: two uint32, the index (0..2) and the id (-1 on an add,
// which the driver fills in).
constexpr unsigned long kAddB = 0x8008420f;
constexpr unsigned long kReleaseB = 0x80084210;
constexpr size_t kBSize = 8;

// A D channel, by its id.
std::optional<int> TakeChannel(ControlArgs& in) {
  return in.Int("channel", DspDataDriver::kFirstChannel, DspDataDriver::kFirstChannel + DspDataDriver::kChannels - 1);
}

Reply NotOpen(int channel) {
  return Reply{false, "channel " + std::to_string(channel) + " is not open"};
}

}  // namespace

struct DspDataDriver::PerOpen : OpenFile::State {
  int index = -1;  // -1 until the channel id is asked
  std::array<bool, kBChannels> b{};
  History<std::vector<uint8_t>> transmitted;
};

DspDataDriver::DspDataDriver() : Driver(kPath) {
  HandleRecord(kChannelId, kChannelIdSize, [this](OpenFile& file, Record&) { return ChannelId(file); });
  HandleRecord(kAddB, kBSize, [this](OpenFile& file, Record& r) { return AddB(file, r); });
  HandleRecord(kReleaseB, kBSize, [this](OpenFile& file, Record& r) { return ReleaseB(file, r); });
  AddCommands();
}

void DspDataDriver::AddCommands() {
  // cable <channel> <channel>: joins two D channels.
  AddCommand("cable", [this](const std::vector<std::string>& args) {
    ControlArgs in(args, "cable <channel> <channel>", 2);
    const std::optional<int> a = TakeChannel(in);
    const std::optional<int> b = TakeChannel(in);
    if (in.Refused()) {
      return in.Refusal();
    }
    if (a == b) {
      return Reply{false, "both ends are channel " + std::to_string(*a)};
    }
    if (!JoinChannels(*a, *b)) {
      return Reply{false, "channel " + std::to_string(CableAt(*a) != nullptr ? *a : *b) + " already has a cable"};
    }
    return Reply{true, ""};
  });
  // rx <channel> <hex bytes>: the D channel receives a frame.
  AddCommand("rx", [this](const std::vector<std::string>& args) {
    ControlArgs in(args, "rx <channel> <hex bytes>", 2);
    const std::optional<int> channel = TakeChannel(in);
    const std::optional<std::vector<uint8_t>> bytes = in.Bytes("bytes");
    if (in.Refused()) {
      return in.Refusal();
    }
    if (Find(*channel) == nullptr) {
      return NotOpen(*channel);
    }
    if (!Receive(*channel, *bytes)) {
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
    if (Find(*channel) == nullptr) {
      return NotOpen(*channel);
    }
    return Reply{true, HexFrames(TakeTransmitted(*channel))};
  });
  // impair <channel> <drop every> <duplicate every> cut|through: what the
  // cable does to frames leaving that channel.
  AddCommand("impair", [this](const std::vector<std::string>& args) {
    ControlArgs in(args, "impair <channel> <drop every> <duplicate every> cut|through", 4);
    const std::optional<int> channel = TakeChannel(in);
    const std::optional<LineImpairments> impairments = in.Impairments();
    if (in.Refused()) {
      return in.Refusal();
    }
    if (!SetImpairments(*channel, *impairments)) {
      return Reply{false, "channel " + std::to_string(*channel) + " has no cable"};
    }
    return Reply{true, ""};
  });
}

long DspDataDriver::OnOpen(OpenFile& file) {
  file.state = std::make_unique<PerOpen>();
  return 0;
}

void DspDataDriver::OnRelease(OpenFile& file) {
  const int index = file.StateAs<PerOpen>().index;
  if (index >= 0) {
    channels_[static_cast<size_t>(index)] = nullptr;
  }
}

long DspDataDriver::ChannelId(OpenFile& file) {
  Board::instance().Sweep();
  PerOpen& open = file.StateAs<PerOpen>();
  if (open.index < 0) {
    auto free = std::find(channels_.begin(), channels_.end(), nullptr);
    if (free == channels_.end()) {
      return -ENOSPC;
    }
    *free = &file;
    open.index = static_cast<int>(free - channels_.begin());
  }
  return kFirstChannel + open.index;
}

long DspDataDriver::AddB(OpenFile& file, Record& record) {
  PerOpen& open = file.StateAs<PerOpen>();
  const uint32_t index = record.U32(0);
  if (open.index < 0 || index >= kBChannels || open.b[index]) {
    return -EINVAL;
  }
  open.b[index] = true;
  record.SetU32(4, static_cast<uint32_t>(kFirstBChannel + open.index * 4 + static_cast<int>(index)));
  return 0;
}

long DspDataDriver::ReleaseB(OpenFile& file, Record& record) {
  PerOpen& open = file.StateAs<PerOpen>();
  const uint32_t index = record.U32(0);
  if (open.index < 0 || index >= kBChannels || !open.b[index] ||
      record.I32(4) != kFirstBChannel + open.index * 4 + static_cast<int>(index)) {
    return -EINVAL;
  }
  open.b[index] = false;
  return 0;
}

long DspDataDriver::OnWrite(OpenFile& file, const std::vector<uint8_t>& record) {
  PerOpen& open = file.StateAs<PerOpen>();
  if (open.index < 0 || record.empty()) {
    return -EINVAL;
  }
  open.transmitted.Add(record);
  const int channel = kFirstChannel + open.index;
  if (Cable* cable = CableAt(channel)) {
    const int side = cable->ends[0] == channel ? 0 : 1;
    if (OpenFile* far = Find(cable->ends[1 - side])) {
      for (unsigned copies = cable->leaving[side].Copies(); copies > 0; --copies) {
        (void)Deliver(*far, record);
      }
    }
  }
  return 0;
}

OpenFile* DspDataDriver::Find(int channel) const {
  const int index = channel - kFirstChannel;
  return index < 0 || index >= kChannels ? nullptr : channels_[static_cast<size_t>(index)];
}

DspDataDriver::Cable* DspDataDriver::CableAt(int channel) {
  for (Cable& cable : cables_) {
    if (cable.ends[0] == channel || cable.ends[1] == channel) {
      return &cable;
    }
  }
  return nullptr;
}

bool DspDataDriver::Receive(int channel, const std::vector<uint8_t>& frame) {
  auto lock = Board::Lock();
  OpenFile* file = Find(channel);
  return file != nullptr && !frame.empty() && Deliver(*file, frame);
}

std::vector<std::vector<uint8_t>> DspDataDriver::TakeTransmitted(int channel) {
  auto lock = Board::Lock();
  OpenFile* file = Find(channel);
  if (file == nullptr) {
    return {};
  }
  auto& transmitted = file->StateAs<PerOpen>().transmitted;
  std::vector<std::vector<uint8_t>> frames = transmitted.Items();
  transmitted.Clear();
  return frames;
}

std::vector<int> DspDataDriver::BChannels() const {
  auto lock = Board::Lock();
  Board::instance().Sweep();
  std::vector<int> ids;
  for (int index = 0; index < kChannels; ++index) {
    if (OpenFile* file = channels_[static_cast<size_t>(index)]) {
      for (int b = 0; b < kBChannels; ++b) {
        if (file->StateAs<PerOpen>().b[static_cast<size_t>(b)]) {
          ids.push_back(kFirstBChannel + index * 4 + b);
        }
      }
    }
  }
  return ids;
}

bool DspDataDriver::JoinChannels(int a, int b) {
  auto lock = Board::Lock();
  const auto valid = [](int end) { return end >= kFirstChannel && end < kFirstChannel + kChannels; };
  if (a == b || !valid(a) || !valid(b) || CableAt(a) != nullptr || CableAt(b) != nullptr) {
    return false;
  }
  cables_.push_back(Cable{{a, b}, {}});
  return true;
}

bool DspDataDriver::SetImpairments(int channel, const LineImpairments& impairments) {
  auto lock = Board::Lock();
  Cable* cable = CableAt(channel);
  if (cable == nullptr) {
    return false;
  }
  cable->leaving[cable->ends[0] == channel ? 0 : 1].impairments = impairments;
  return true;
}

}  // namespace sim
