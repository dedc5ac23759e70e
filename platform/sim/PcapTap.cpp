#include "platform/sim/PcapTap.h"

#include "platform/Clock.h"

#include <sys/time.h>

#include <algorithm>

namespace sim {
namespace {

constexpr uint32_t kLinkTypeMtp2 = 139;
constexpr uint32_t kLinkTypeLinuxLapd = 177;
constexpr uint32_t kSnapLength = 65535;

}  // namespace

std::optional<PcapTap::Kind> PcapTap::ParseKind(const std::string& text) {
  if (text == "mtp2") {
    return Kind::kMtp2;
  }
  if (text == "lapd-user") {
    return Kind::kLapdUser;
  }
  if (text == "lapd-network") {
    return Kind::kLapdNetwork;
  }
  return std::nullopt;
}

bool PcapTap::Open(const std::string& path, Kind kind) {
  kind_ = kind;
  out_.open(path, std::ios::binary | std::ios::trunc);
  // Global header, little-endian: magic, version 2.4, zone, accuracy, snap length, link type.
  Put(0xA1B2C3D4, 4);
  Put(2, 2);
  Put(4, 2);
  Put(0, 4);
  Put(0, 4);
  Put(kSnapLength, 4);
  Put(kind == Kind::kMtp2 ? kLinkTypeMtp2 : kLinkTypeLinuxLapd, 4);
  return static_cast<bool>(out_.flush());
}

void PcapTap::Write(bool sent, const std::vector<uint8_t>& frame) {
  std::vector<uint8_t> header;
  if (kind_ == Kind::kMtp2) {
    // Sent, Annex A not in use, link number 0.
    header = {static_cast<uint8_t>(sent), 0, 0, 0};
  } else {
    // Packet type (4 sent, 0 received), ARPHRD_LAPD, one address octet naming
    // the side (0 user, 1 network), protocol ETH_P_LAPD.
    header = {0,
              static_cast<uint8_t>(sent ? 4 : 0),
              0x20,
              0xFD,
              0,
              1,
              static_cast<uint8_t>(kind_ == Kind::kLapdNetwork),
              0,
              0,
              0,
              0,
              0,
              0,
              0,
              0,
              0x30};
  }
  header.insert(header.end(), frame.begin(), frame.end());
  const auto size = static_cast<uint32_t>(std::min<size_t>(header.size(), kSnapLength));
  timeval now{};
  platform::GetTimeOfDay(&now);
  Put(static_cast<uint32_t>(now.tv_sec), 4);
  Put(static_cast<uint32_t>(now.tv_usec), 4);
  Put(size, 4);
  Put(static_cast<uint32_t>(header.size()), 4);
  out_.write(reinterpret_cast<const char*>(header.data()), size);
  out_.flush();
}

void PcapTap::Put(uint32_t value, int size) {
  for (int i = 0; i < size; ++i) {
    out_.put(static_cast<char>(value >> (8 * i)));
  }
}

}  // namespace sim
