#include "slots/ModemFactory.h"

#include "hardware/DeviceNames.h"
#include "platform/Device.h"
#include "platform/ServicePort.h"
#include "runtime/log/Ext.h"
#include "runtime/net/INet4.h"
#include "slots/DspModemSlot.h"
#include "slots/HdlcModemSlot.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <optional>

namespace {

constexpr unsigned long kEnumerate = 0xbb0c;
constexpr int kMaxInterfaces = 256;
constexpr int kBacklog = 64;

template <class T>
bool Erase(std::vector<T*>& list, const void* item) {
  const auto found = std::find(list.begin(), list.end(), item);
  if (found == list.end()) {
    return false;
  }
  list.erase(found);
  return true;
}

}  // namespace

ModemFactory& ModemFactory::instance() {
  static ModemFactory factory;
  return factory;
}

ModemFactory::ModemFactory() {
  IQuery();
  Init();
}

ModemFactory::~ModemFactory() = default;

void ModemFactory::PutHeader(std::ostream& os) const {
  os << "modem[" << dsp_modems_ << "," << modems_.size() << "]: ";
}

void ModemFactory::IQuery() {
  update_modemDevices();
  update_hdlcDevices();
}

void ModemFactory::update_modemDevices() {
  dsp_modems_ = 0;
  Fd device(platform::Open(GetModemDevName(), O_RDWR | O_CLOEXEC));
  if (!device) {
    std::cerr << ext::header(this) << "fail to open " << ext::quoted(GetModemDevName()) << " : " << std::strerror(errno)
              << std::endl;
    return;
  }
  int modem = -1;
  for (;;) {
    modem = platform::IoctlValue(device.get(), kEnumerate, static_cast<unsigned long>(modem));
    if (modem < 0) {
      break;
    }
    ++dsp_modems_;
  }
  if (errno != ENODEV) {
    std::cerr << ext::header(this) << "enum fail: " << std::strerror(errno) << std::endl;
  }
}

bool ModemFactory::IsHeld(const std::string& interface) const {
  return std::any_of(digital_.begin(), digital_.end(),
                     [&interface](const HdlcModemSlot* slot) { return slot->interface() == interface; });
}

void ModemFactory::update_hdlcDevices() {
  free_interfaces_.clear();
  Fd socket(platform::InterfaceSocket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  if (!socket) {
    return;
  }
  for (int n = 0; n < kMaxInterfaces; ++n) {
    const std::string name = "hdlc" + std::to_string(n);
    ifreq request{};
    std::strncpy(request.ifr_name, name.c_str(), sizeof request.ifr_name - 1);
    if (platform::Ioctl(socket.get(), SIOCGIFINDEX, &request) < 0 ||
        platform::Ioctl(socket.get(), SIOCGIFFLAGS, &request) < 0) {
      break;
    }
    // One a live digital modem holds is not free, however the interface looks.
    if ((request.ifr_flags & IFF_POINTOPOINT) != 0 && (request.ifr_flags & IFF_LOOPBACK) == 0 && !IsHeld(name)) {
      free_interfaces_.push_back(name);
    }
  }
  if (free_interfaces_.empty()) {
    return;
  }
  std::clog << ext::header(this) << "found point-o-point devices:";
  for (const std::string& name : free_interfaces_) {
    std::clog << ' ' << name;
  }
  std::clog << std::endl;
}

void ModemFactory::Query(LGCP::Resources& resources) {
  IQuery();
  resources.set_modem(static_cast<int>(dsp_modems_));
  resources.set_digital_modems(static_cast<int>(free_interfaces_.size()));
}

std::unique_ptr<Slot> ModemFactory::INewSlot(const LGCP::CreateParams& params) {
  if (!params.is_modem()) {
    return nullptr;
  }
  const TERM::ModemParams& modem = params.get_modem();
  if (modem.has_ddm() && modem.get_ddm().size() > 0 && !free_interfaces_.empty()) {
    auto slot = std::make_unique<HdlcModemSlot>(*this, modem, free_interfaces_.front());
    free_interfaces_.erase(free_interfaces_.begin());
    modems_.push_back(slot.get());
    digital_.push_back(slot.get());
    return slot;
  }
  auto slot = std::make_unique<DspModemSlot>(*this, modem);
  modems_.push_back(slot.get());
  dsp_.push_back(slot.get());
  return slot;
}

void ModemFactory::ReleaseModemSlot(DspModemSlot* slot) {
  Erase(modems_, slot);
  Erase(dsp_, slot);
}

void ModemFactory::ReleaseModemSlot(HdlcModemSlot* slot) {
  Erase(modems_, slot);
  // A slot released twice gives its interface back once.
  if (!Erase(digital_, slot)) {
    return;
  }
  if (std::find(free_interfaces_.begin(), free_interfaces_.end(), slot->interface()) == free_interfaces_.end()) {
    free_interfaces_.push_back(slot->interface());
  }
}

ModemSlot* ModemFactory::FindModemByDsp(int modem) const {
  const auto found = std::find_if(modems_.begin(), modems_.end(),
                                  [modem](const ModemSlot* slot) { return slot->modem_id() == modem; });
  return found == modems_.end() ? nullptr : *found;
}

void ModemFactory::OnAuth(const AuthRecord& record) {
  const uint32_t session = AuthLink::SessionOf(record);
  const auto matches = [session](const ModemSlot* slot) { return slot->EqAuthId(session); };
  const auto found = std::find_if(modems_.begin(), modems_.end(), matches);
  if (found == modems_.end()) {
    std::cerr << ext::header(this) << "receive auth request for unknown session " << static_cast<int32_t>(session)
              << std::endl;
    return;
  }
  const auto sharing = std::count_if(modems_.begin(), modems_.end(), matches);
  if (sharing > 1) {
    std::cerr << ext::header(this) << sharing << " slots share auth session " << static_cast<int32_t>(session)
              << ", the first takes the record." << std::endl;
  }
  (*found)->OnAuth(record);
}

void ModemFactory::SendAuth(const AuthRecord& record) {
  const uint32_t session = AuthLink::SessionOf(record);
  for (const std::unique_ptr<AuthClient>& client : clients_) {
    if (client->session() == session) {
      // The client may leave the list inside Send: nothing here touches it afterwards.
      static_cast<void>(client->Send(record));
      return;
    }
  }
  std::clog << ext::header(this) << "send error: unknown auth " << static_cast<int32_t>(session) << " session."
            << std::endl;
}

void ModemFactory::Init() {
  listener_.Bind("ModemFactory::OnSocketEvent", &ModemFactory::OnSocketEvent, this);
  sockaddr_in inet{};
  inet.sin_family = AF_INET;
  inet.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  // Start-up refuses such a port before any factory is built.
  const std::optional<uint16_t> port = platform::ServicePort(kAuthPortVariable, kAuthPort);
  if (!port) {
    std::cerr << ext::header(this) << platform::ServicePortRefusal(kAuthPortVariable) << std::endl;
    return;
  }
  inet.sin_port = htons(*port);
  Fd socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP));
  if (!socket) {
    std::cerr << ext::header(this) << "fail to open auth socket: " << std::strerror(errno) << std::endl;
    return;
  }
  if (bind(socket.get(), reinterpret_cast<const sockaddr*>(&inet), sizeof inet) != 0) {
    const int error = errno;
    std::cerr << ext::header(this) << "fail to bind auth socket: " << std::strerror(error) << " on "
              << INet4::Addr(inet).GetString() << platform::ServicePortHint(kAuthPortVariable) << std::endl;
    return;
  }
  if (listen(socket.get(), kBacklog) != 0) {
    std::cerr << ext::header(this) << "fail to listen auth socket: " << std::strerror(errno) << std::endl;
    return;
  }
  if (!socket.NonBlock()) {
    std::cerr << ext::header(this) << "can't set socket to non block mode: " << std::strerror(errno) << std::endl;
    return;
  }
  listener_.Schedule(socket, POLLIN);
  // The port taken, also when any free one was asked for.
  inet.sin_port = htons(AuthPort());
  std::clog << ext::header(this) << "auth socket listens on " << INet4::Addr(inet).GetString() << std::endl;
}

uint16_t ModemFactory::AuthPort() const {
  sockaddr_in inet{};
  socklen_t length = sizeof inet;
  if (!listener_.GetFd() || getsockname(listener_.GetFd().get(), reinterpret_cast<sockaddr*>(&inet), &length) != 0) {
    return 0;
  }
  return ntohs(inet.sin_port);
}

void ModemFactory::OnSocketEvent(int, short revents) {
  if ((revents & (POLLERR | POLLHUP)) != 0) {
    std::cerr << ext::header(this) << "auth server socket error." << std::endl;
    listener_.Release();
    listener_.UnBind();
    return;
  }
  if ((revents & POLLIN) == 0) {
    return;
  }
  sockaddr_in peer{};
  socklen_t length = sizeof peer;
  Fd connection(accept4(listener_.GetFd().get(), reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC));
  if (!connection || !connection.NonBlock()) {
    std::cerr << ext::header(this) << "fail to set nonblock mode." << std::endl;
    return;
  }
  AuthClient& client = AddAuthClient(std::move(connection), INet4::Addr(peer));
  std::cerr << ext::header(this) << "incoming auth connection from ";
  client.peer().Put(std::cerr);
  std::cerr << std::endl;
}

AuthClient& ModemFactory::AddAuthClient(Fd fd, const INet4::Addr& peer) {
  clients_.push_back(std::make_unique<AuthClient>(std::move(fd), peer, *this));
  AuthClient& client = *clients_.back();
  client.Activate();
  return client;
}

void ModemFactory::OnAuthSocketDisconnect(AuthClient* client) {
  const auto found = std::find_if(clients_.begin(), clients_.end(),
                                  [client](const std::unique_ptr<AuthClient>& each) { return each.get() == client; });
  if (found == clients_.end()) {
    return;
  }
  std::clog << ext::header(this) << "auth client ";
  client->peer().Put(std::clog);
  std::clog << " disconnected." << std::endl;
  clients_.erase(found);
}
