#pragma once

#include "platform/sim/Driver.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

// The board's network-interface table, standing in for the kernel's: a name,
// the running flag and an optional IPv4 address per interface index 0 to 15.
// The sockets the server opens only to ask about interfaces
// (platform::InterfaceSocket) are opens of this driver, and it answers the
// interface requests on them: SIOCGIFNAME, SIOCGIFFLAGS, SIOCGIFADDR and
// SIOCGIFCONF, in the host's own struct ifreq and struct ifconf.
//
// The board starts with "lo" (index 1, 127.0.0.1) and "eth0" (index 2,
// 192.168.0.10), both running.
class NetInterfacesDriver : public Driver {
 public:
  static constexpr const char* kPath = "netif";
  static constexpr int kIndexes = 16;

  struct Interface {
    std::string name;  // empty: no interface at this index
    bool running = false;
    uint32_t address = 0;  // IPv4 in host order; 0 for none
  };

  NetInterfacesDriver();

  // Puts or replaces (an empty name removes) the interface of an index 0..15.
  void Set(int index, const Interface& interface);

 private:
  long Name(Record& record) const;
  long Flags(Record& record) const;
  long Address(Record& record) const;
  long Configuration(Record& record) const;
  const Interface* FindByName(const Record& record) const;
  Reply ControlSet(const std::vector<std::string>& args);

  std::array<Interface, kIndexes> interfaces_;
};

}  // namespace sim
