#include "runtime/net/Net.h"

#include "platform/Device.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <strings.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <functional>

namespace Net {
namespace {

// Room for 16 interface records, whatever size the host's records have.
constexpr size_t kMaxInterfaces = 16;

bool InNetwork(uint32_t address, uint32_t network, int prefix) {
  uint32_t mask = prefix == 0 ? 0 : ~uint32_t{0} << (32 - prefix);
  return (address & mask) == network;
}

bool IsSelected(const ifreq& record, ifconfig_mode_t mode) {
  if (mode == 0) {
    return true;
  }
  uint32_t address = ntohl(reinterpret_cast<const sockaddr_in*>(&record.ifr_addr)->sin_addr.s_addr);
  if ((mode & kNotLoopback) != 0 && strcasecmp(record.ifr_name, "lo") != 0) {
    return true;
  }
  if ((mode & kLinkLocal) != 0 && InNetwork(address, 0xA9FE0000, 16)) {
    return true;
  }
  return (mode & kPrivate) != 0 && (InNetwork(address, 0xC0A80000, 16) || InNetwork(address, 0xAC100000, 12) ||
                                    InNetwork(address, 0x0A000000, 8));
}

// Walks the selected IPv4 interfaces; visit returns true when it appended one.
int ForEachSelected(ifconfig_mode_t mode, const std::function<bool(int socket, ifreq& record)>& visit) {
  int sock = platform::InterfaceSocket(AF_INET, SOCK_DGRAM, 0);
  if (sock < 0) {
    return -1;
  }
  ifreq records[kMaxInterfaces];
  std::memset(records, 0, sizeof records);
  ifconf config{};
  config.ifc_len = sizeof records;
  config.ifc_req = records;
  if (platform::Ioctl(sock, SIOCGIFCONF, &config) < 0) {
    platform::Close(sock);
    return -1;
  }
  int count = 0;
  size_t record_count = static_cast<size_t>(config.ifc_len) / sizeof(ifreq);
  for (size_t i = 0; i < record_count; ++i) {
    ifreq& record = records[i];
    if (record.ifr_addr.sa_family != AF_INET || !IsSelected(record, mode)) {
      continue;
    }
    if (visit(sock, record)) {
      ++count;
    }
  }
  platform::Close(sock);
  return count;
}

}  // namespace

int ifconfig(std::list<INet4::Addr>& addresses, ifconfig_mode_t mode) {
  return ForEachSelected(mode, [&addresses](int sock, ifreq& record) {
    if (platform::Ioctl(sock, SIOCGIFADDR, &record) < 0) {
      return false;
    }
    INet4::Addr address;
    address.Assign(reinterpret_cast<const sockaddr_in*>(&record.ifr_addr)->sin_addr.s_addr);
    addresses.push_back(address);
    return true;
  });
}

int ifconfig(std::list<std::string>& names, ifconfig_mode_t mode, int flags) {
  return ForEachSelected(mode, [&names, flags](int sock, ifreq& record) {
    if (platform::Ioctl(sock, SIOCGIFADDR, &record) < 0 || platform::Ioctl(sock, SIOCGIFFLAGS, &record) < 0) {
      return false;
    }
    if ((record.ifr_flags & flags) != flags) {
      return false;
    }
    names.push_back(record.ifr_name);
    return true;
  });
}

std::string hostname() {
  char name[512];
  if (gethostname(name, sizeof name) != 0) {
    return std::string();
  }
  name[sizeof name - 1] = '\0';
  return name;
}

bool hostname(const std::string& name) {
  return sethostname(name.c_str(), name.size()) == 0;
}

}  // namespace Net
