#include "slots/HdlcModemSlot.h"

#include "platform/ByteOrder.h"
#include "platform/Device.h"
#include "runtime/log/Ext.h"
#include "runtime/net/Fd.h"
#include "slots/ModemFactory.h"

#include <linux/sockios.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <array>
#include <cstring>
#include <iostream>

namespace {

// The generic HDLC layer's requests (SIOCWANDEV) and the if_settings record they carry.
constexpr uint32_t kGetInterface = 1;
constexpr uint32_t kProtoHdlc = 0x2000;
constexpr uint32_t kProtoPpp = 0x2001;
constexpr size_t kInterfaceBlock = 128;

struct Settings {
  uint32_t type;
  uint32_t size;
  void* buffer;
};

ifreq NamedRequest(const std::string& name) {
  ifreq request{};
  std::strncpy(request.ifr_name, name.c_str(), sizeof request.ifr_name - 1);
  return request;
}

int WanDevice(const Fd& socket, const std::string& name, uint32_t type, void* buffer, uint32_t size) {
  ifreq request = NamedRequest(name);
  const Settings settings{type, size, buffer};
  static_assert(sizeof settings <= sizeof request.ifr_ifru, "if_settings fits the request");
  std::memcpy(&request.ifr_ifru, &settings, sizeof settings);
  return platform::Ioctl(socket.get(), SIOCWANDEV, &request);
}

}  // namespace

HdlcModemSlot::HdlcModemSlot(ModemFactory& factory, const TERM::ModemParams& params, std::string interface)
    : ModemSlot(factory, params), interface_(std::move(interface)) {}

HdlcModemSlot::~HdlcModemSlot() {
  pppd_kill();
  RestoreHdlc();
}

void HdlcModemSlot::unbind() {
  GetSlotFactory().ReleaseModemSlot(this);
}

bool HdlcModemSlot::initModem() {
  if (HasChild()) {
    return true;
  }
  if (!ProgramAllowed()) {
    return false;
  }
  Fd socket(platform::InterfaceSocket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  if (!socket) {
    return false;
  }
  std::array<uint8_t, kInterfaceBlock> block{};
  if (WanDevice(socket, interface_, kGetInterface, block.data(), kInterfaceBlock) < 0) {
    std::cerr << ext::header(this) << "SIOCWANDEV/IF_GET_IFACE fail!" << std::endl;
    return false;
  }
  channel_ = static_cast<int>(platform::LoadBe32(&block[12]));
  uint32_t ppp_settings = 0;
  if (WanDevice(socket, interface_, kProtoPpp, &ppp_settings, sizeof ppp_settings) < 0) {
    std::cerr << ext::header(this) << "SIOCWANDEV/IF_PROTO_PPP fail!" << std::endl;
    return false;
  }
  return pppd_exec(interface_.c_str(), "/usr/local/etc/ppp/ioptions");
}

void HdlcModemSlot::RestoreHdlc() {
  Fd socket(platform::InterfaceSocket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  if (!socket) {
    return;
  }
  ifreq request = NamedRequest(interface_);
  if (platform::Ioctl(socket.get(), SIOCGIFFLAGS, &request) < 0) {
    std::cerr << ext::header(this) << "SIOCGIFFLAGS fail!!!" << std::endl;
    return;
  }
  request.ifr_flags = static_cast<short>(request.ifr_flags & ~IFF_UP);
  if (platform::Ioctl(socket.get(), SIOCSIFFLAGS, &request) < 0) {
    std::cerr << ext::header(this) << "SIOCSIFFLAGS fail!!!" << std::endl;
    return;
  }
  // {u16 encoding, u16 parity}, both 0.
  std::array<uint8_t, 4> hdlc_settings{};
  if (WanDevice(socket, interface_, kProtoHdlc, hdlc_settings.data(), hdlc_settings.size()) < 0) {
    std::cerr << ext::header(this) << "SIOCWANDEV/IF_PROTO_HDLC fail!" << std::endl;
  }
}
