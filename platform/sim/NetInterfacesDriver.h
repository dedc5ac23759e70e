#pragma once

#include "platform/sim/Driver.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

// The board's network-interface table, standing in for the kernel's: a name,
// the up and running flags and an optional IPv4 address per interface index 0
// to 15; a point-to-point HDLC interface also has its switch channel and the
// protocol of the generic HDLC layer. The sockets the server opens only to ask
// about interfaces (platform::InterfaceSocket) are opens of this driver, and it
// answers the interface requests on them: SIOCGIFNAME, SIOCGIFINDEX,
// SIOCGIFFLAGS, SIOCSIFFLAGS, SIOCGIFADDR, SIOCGIFCONF and SIOCWANDEV, in the
// host's own struct ifreq and struct ifconf. SIOCWANDEV answers IF_GET_IFACE
// with a 128-byte settings block whose fourth big-endian word is the channel.
//
// The board starts with "lo" (index 1, 127.0.0.1) and "eth0" (index 2,
// 192.168.0.10), both running.
class NetInterfacesDriver : public Driver {
 public:
  static constexpr const char* kPath = "netif";
  static constexpr int kIndexes = 16;

  // Protocols of the generic HDLC layer.
  static constexpr uint32_t kProtoHdlc = 0x2000;
  static constexpr uint32_t kProtoPpp = 0x2001;

  struct Interface {
    std::string name;  // empty: no interface at this index
    bool running = false;
    uint32_t address = 0;  // IPv4 in host order; 0 for none
    bool up = true;
    bool point_to_point = false;
    int channel = -1;
    uint32_t protocol = kProtoHdlc;
  };

  NetInterfacesDriver();

  // Puts or replaces (an empty name removes) the interface of an index 0..15.
  void Set(int index, const Interface& interface);
  Interface Get(int index) const;

 private:
  long Name(Record& record) const;
  long Index(Record& record) const;
  long Flags(Record& record) const;
  long SetFlags(Record& record);
  long WanDevice(Record& record);
  long Address(Record& record) const;
  long Configuration(Record& record) const;
  const Interface* FindByName(const Record& record) const;
  Interface* FindByName(const Record& record);
  Reply ControlSet(const std::vector<std::string>& args);

  std::array<Interface, kIndexes> interfaces_;
};

}  // namespace sim
