#include "platform/sim/NetInterfacesDriver.h"

#include "platform/sim/Board.h"
#include "platform/sim/ControlArgs.h"

#include <arpa/inet.h>
#include <linux/sockios.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace sim {
namespace {

// The requests carry the host's own structures: copy them out of and back into
// the record bytes as they are.
ifreq InterfaceRequest(const Record& record) {
  ifreq request{};
  std::memcpy(&request, record.Bytes().data(), sizeof request);
  return request;
}

void StoreRequest(Record& record, const ifreq& request) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(&request);
  for (size_t i = 0; i < sizeof request; ++i) {
    record.SetU8(i, bytes[i]);
  }
}

// The if_settings member of SIOCWANDEV: {type, size, pointer to the caller's buffer}.
struct Settings {
  uint32_t type;
  uint32_t size;
  uint8_t* buffer;
};

constexpr uint32_t kGetInterface = 1;
constexpr size_t kInterfaceBlock = 128;

void StoreAddress(ifreq& request, uint32_t address) {
  sockaddr_in inet{};
  inet.sin_family = AF_INET;
  inet.sin_addr.s_addr = htonl(address);
  std::memcpy(&request.ifr_addr, &inet, sizeof inet);
}

}  // namespace

NetInterfacesDriver::NetInterfacesDriver() : Driver(kPath) {
  interfaces_[1] = Interface{"lo", true, 0x7F000001};
  interfaces_[2] = Interface{"eth0", true, 0xC0A8000A};
  HandleRecord(SIOCGIFNAME, sizeof(ifreq), [this](OpenFile&, Record& r) { return Name(r); });
  HandleRecord(SIOCGIFINDEX, sizeof(ifreq), [this](OpenFile&, Record& r) { return Index(r); });
  HandleRecord(SIOCGIFFLAGS, sizeof(ifreq), [this](OpenFile&, Record& r) { return Flags(r); });
  HandleRecord(SIOCSIFFLAGS, sizeof(ifreq), [this](OpenFile&, Record& r) { return SetFlags(r); });
  HandleRecord(SIOCWANDEV, sizeof(ifreq), [this](OpenFile&, Record& r) { return WanDevice(r); });
  HandleRecord(SIOCGIFADDR, sizeof(ifreq), [this](OpenFile&, Record& r) { return Address(r); });
  HandleRecord(SIOCGIFCONF, sizeof(ifconf), [this](OpenFile&, Record& r) { return Configuration(r); });
  // set <index> <name>|- <running 0|1> [<a.b.c.d>]: the interface at the index; the name "-" removes it.
  AddCommand("set", [this](const std::vector<std::string>& args) { return ControlSet(args); });
}

void NetInterfacesDriver::Set(int index, const Interface& interface) {
  auto lock = Board::Lock();
  interfaces_.at(static_cast<size_t>(index)) = interface;
}

NetInterfacesDriver::Interface NetInterfacesDriver::Get(int index) const {
  auto lock = Board::Lock();
  return interfaces_.at(static_cast<size_t>(index));
}

long NetInterfacesDriver::Name(Record& record) const {
  ifreq request = InterfaceRequest(record);
  const int index = request.ifr_ifindex;
  if (index < 0 || index >= kIndexes || interfaces_[static_cast<size_t>(index)].name.empty()) {
    return -ENODEV;
  }
  const std::string& name = interfaces_[static_cast<size_t>(index)].name;
  std::memset(request.ifr_name, 0, sizeof request.ifr_name);
  std::memcpy(request.ifr_name, name.data(), std::min(name.size(), sizeof request.ifr_name - 1));
  StoreRequest(record, request);
  return 0;
}

const NetInterfacesDriver::Interface* NetInterfacesDriver::FindByName(const Record& record) const {
  const ifreq request = InterfaceRequest(record);
  const std::string name(request.ifr_name, strnlen(request.ifr_name, sizeof request.ifr_name));
  for (const Interface& interface : interfaces_) {
    if (!name.empty() && interface.name == name) {
      return &interface;
    }
  }
  return nullptr;
}

NetInterfacesDriver::Interface* NetInterfacesDriver::FindByName(const Record& record) {
  return const_cast<Interface*>(static_cast<const NetInterfacesDriver*>(this)->FindByName(record));
}

long NetInterfacesDriver::Index(Record& record) const {
  const Interface* interface = FindByName(record);
  if (interface == nullptr) {
    return -ENODEV;
  }
  ifreq request = InterfaceRequest(record);
  request.ifr_ifindex = static_cast<int>(interface - interfaces_.data());
  StoreRequest(record, request);
  return 0;
}

long NetInterfacesDriver::Flags(Record& record) const {
  const Interface* interface = FindByName(record);
  if (interface == nullptr) {
    return -ENODEV;
  }
  ifreq request = InterfaceRequest(record);
  request.ifr_flags = static_cast<short>((interface->up ? IFF_UP : 0) | (interface->running ? IFF_RUNNING : 0) |
                                         (interface->name == "lo" ? IFF_LOOPBACK : 0) |
                                         (interface->point_to_point ? IFF_POINTOPOINT : 0));
  StoreRequest(record, request);
  return 0;
}

long NetInterfacesDriver::SetFlags(Record& record) {
  Interface* interface = FindByName(record);
  if (interface == nullptr) {
    return -ENODEV;
  }
  interface->up = (InterfaceRequest(record).ifr_flags & IFF_UP) != 0;
  return 0;
}

long NetInterfacesDriver::WanDevice(Record& record) {
  Interface* interface = FindByName(record);
  if (interface == nullptr) {
    return -ENODEV;
  }
  if (!interface->point_to_point) {
    return -EINVAL;
  }
  const ifreq request = InterfaceRequest(record);
  Settings settings{};
  std::memcpy(&settings, &request.ifr_ifru, sizeof settings);
  if (settings.type == kGetInterface) {
    if (settings.size < kInterfaceBlock || settings.buffer == nullptr) {
      return -ENOBUFS;
    }
    std::memset(settings.buffer, 0, kInterfaceBlock);
    const auto channel = static_cast<uint32_t>(interface->channel);
    for (size_t i = 0; i < 4; ++i) {
      settings.buffer[12 + i] = static_cast<uint8_t>(channel >> (24 - 8 * i));
    }
    return 0;
  }
  if (settings.type != kProtoHdlc && settings.type != kProtoPpp) {
    return -EINVAL;
  }
  interface->protocol = settings.type;
  return 0;
}

long NetInterfacesDriver::Address(Record& record) const {
  const Interface* interface = FindByName(record);
  if (interface == nullptr) {
    return -ENODEV;
  }
  if (interface->address == 0) {
    return -EADDRNOTAVAIL;
  }
  ifreq request = InterfaceRequest(record);
  StoreAddress(request, interface->address);
  StoreRequest(record, request);
  return 0;
}

long NetInterfacesDriver::Configuration(Record& record) const {
  // The record holds the caller's buffer length and pointer, as the kernel
  // receives them; the interface records go straight into that buffer.
  ifconf configuration{};
  std::memcpy(&configuration, record.Bytes().data(), sizeof configuration);
  if (configuration.ifc_len < 0 || configuration.ifc_req == nullptr) {
    return -EFAULT;
  }
  const size_t room = static_cast<size_t>(configuration.ifc_len) / sizeof(ifreq);
  size_t count = 0;
  for (const Interface& interface : interfaces_) {
    if (interface.name.empty() || interface.address == 0 || count == room) {
      continue;
    }
    ifreq entry{};
    std::memcpy(entry.ifr_name, interface.name.data(), std::min(interface.name.size(), sizeof entry.ifr_name - 1));
    StoreAddress(entry, interface.address);
    configuration.ifc_req[count++] = entry;
  }
  configuration.ifc_len = static_cast<int>(count * sizeof(ifreq));
  const auto* bytes = reinterpret_cast<const uint8_t*>(&configuration);
  for (size_t i = 0; i < sizeof configuration; ++i) {
    record.SetU8(i, bytes[i]);
  }
  return 0;
}

Reply NetInterfacesDriver::ControlSet(const std::vector<std::string>& args) {
  // "set <index> <name>|- <running 0|1> [<a.b.c.d>]"; the name "-" removes.
  ControlArgs in(args, "set <index> <name>|- <running 0|1> [<address>]", 3, 4);
  const std::optional<int> index = in.Int("index", 0, kIndexes - 1);
  const std::optional<std::string> name = in.Text();
  if (name && name->size() >= IFNAMSIZ) {
    in.Refuse("name", "longer than " + std::to_string(IFNAMSIZ - 1) + " characters");
  }
  const std::optional<int> running = in.Int("running", 0, 1);
  const std::optional<uint32_t> address = in.Left() > 0 ? in.Address("address") : 0;
  if (in.Refused()) {
    return in.Refusal();
  }
  interfaces_[static_cast<size_t>(*index)] =
      Interface{*name == "-" ? std::string() : *name, *running == 1, ntohl(*address)};
  return Reply{true, ""};
}

}  // namespace sim
