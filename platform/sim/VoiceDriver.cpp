#include "platform/sim/VoiceDriver.h"

#include "platform/sim/Board.h"
#include "platform/sim/ControlArgs.h"
#include "platform/sim/RtpDriver.h"

namespace sim {
namespace {

constexpr unsigned long kDriverVersion = 0x4014560a;  // 20 bytes: five u32
constexpr unsigned long kCodecChannels = 0x40045602;  // the codec mask as the value; answers the channels
// G.711, G.723, G.729, G.711mcc and universal: the simulated "/dev/rtp" takes
// sessions of each, one per channel of its pool.
constexpr uint32_t kRtpCodecMasks[] = {1, 2, 4, 8, 0x41};

}  // namespace

VoiceDriver::VoiceDriver() : Driver(kPath) {
  for (uint32_t mask : kRtpCodecMasks) {
    channels_[mask] = RtpDriver::kLastChannel - RtpDriver::kFirstChannel + 1;
  }
  // Board 1.0, driver 2.3 build 4.
  HandleRecord(kDriverVersion, 20, [](OpenFile&, Record& r) -> long {
    r.SetU32(0, 1).SetU32(4, 0).SetU32(8, 2).SetU32(12, 3).SetU32(16, 4);
    return 0;
  });
  HandleValue(kCodecChannels, [this](OpenFile&, unsigned long mask) -> long {
    const auto found = channels_.find(static_cast<uint32_t>(mask));
    return found == channels_.end() ? 0 : found->second;
  });
  // channels <codec mask> <count>: what the codec-channels request answers for the mask.
  AddCommand("channels", [this](const std::vector<std::string>& args) -> Reply {
    ControlArgs in(args, "channels <codec mask> <count>", 2);
    const std::optional<uint32_t> mask = in.Word32("codec mask");
    const std::optional<int> count = in.Int("count", 0, INT32_MAX);
    if (in.Refused()) {
      return in.Refusal();
    }
    channels_[*mask] = *count;
    return Reply{true, ""};
  });
}

void VoiceDriver::SetCodecChannels(uint32_t mask, long channels) {
  auto lock = Board::Lock();
  channels_[mask] = channels;
}

}  // namespace sim
