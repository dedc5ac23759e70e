#include "runtime/transport/ControlConnectorNet.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <iostream>

namespace Control {
namespace {

constexpr unsigned kRefusedMs = 20000;
constexpr unsigned kPollFailureMs = 15000;
constexpr unsigned kPendingErrorMs = 12000;

std::string DottedQuad(const INet4::Addr& address) {
  const std::vector<uint8_t> bytes = address.GetVector();
  return std::to_string(bytes[0]) + '.' + std::to_string(bytes[1]) + '.' + std::to_string(bytes[2]) + '.' +
         std::to_string(bytes[3]);
}

}  // namespace

ConnectorNet::ConnectorNet(const std::string& host, unsigned short port)
    : Connector<ServiceNet>("ConnectorNet::OnSocketEvent"), port_(port), host_(host) {}

ConnectorNet::ConnectorNet(const std::string& address) : ConnectorNet(std::string(), 0) {
  INet4::Addr parsed;
  int port = -1;
  const bool valid = parsed.Assign(address, &port);
  port_ = port < 0 ? 0 : static_cast<uint16_t>(port);
  host_ = valid ? DottedQuad(parsed) : address;
}

ConnectorNet::~ConnectorNet() = default;

std::optional<INet4::Addr> ConnectorNet::Target() const {
  sockaddr_in target{};
  target.sin_family = AF_INET;
  target.sin_port = htons(port_);
  if (inet_aton(host_.c_str(), &target.sin_addr) == 0) {
    return std::nullopt;
  }
  return INet4::Addr(target);
}

void ConnectorNet::GiveUp(const char* what) {
  std::cerr << what << std::strerror(errno) << std::endl;
  Deactivate();
}

void ConnectorNet::ConnectedTo(const INet4::Addr& target) {
  Connected(socket_, target);
  // The stream layer holds its own duplicate; when the connection ends its
  // close is the last one and reaches the peer.
  socket_.close();
}

void ConnectorNet::TryConnect() {
  socket_event_.Release();
  const std::optional<INet4::Addr> target = Target();
  if (!target) {
    // The text will never parse: no attempt until activated again.
    std::cerr << "can't connect to " << host_ << " : not an IPv4 address" << std::endl;
    Deactivate();
    return;
  }
  socket_ = Fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP));
  if (!socket_) {
    GiveUp("can't create socket:");
    return;
  }
  if (!socket_.NonBlock()) {
    GiveUp("can't set socket to non block mode: ");
    return;
  }
  if (connect(socket_.get(), target->GetSockAddr(), target->GetSockLen()) == 0) {
    std::clog << "already connected to " << target->GetString() << std::endl;
    ConnectedTo(*target);
    return;
  }
  if (errno == EINPROGRESS) {
    socket_event_.Schedule(socket_, POLLOUT);
    return;
  }
  std::cerr << "can't connect to " << target->GetString() << " : " << std::strerror(errno) << std::endl;
  Retry(kRefusedMs);
}

void ConnectorNet::OnSocketEvent(int, short revents) {
  // Only a parsed host gets this far.
  const INet4::Addr target = *Target();
  if ((revents & (POLLERR | POLLHUP)) != 0) {
    std::cerr << "fail to connect to " << target.GetString() << std::endl;
    socket_event_.Release();
    Retry(kPollFailureMs);
    return;
  }
  if ((revents & POLLOUT) == 0) {
    return;
  }
  socket_event_.Release();
  int error = 0;
  socklen_t len = sizeof error;
  if (getsockopt(socket_.get(), SOL_SOCKET, SO_ERROR, &error, &len) != 0) {
    GiveUp("getsockopt(SOL_SOCKET,SO_ERROR) fail: ");
    return;
  }
  if (error != 0) {
    std::cerr << "fail to connect to " << target.GetString() << std::endl;
    Retry(kPendingErrorMs);
    return;
  }
  std::cout << "connected to " << target.GetString() << "." << std::endl;
  ConnectedTo(target);
}

}  // namespace Control
