#include "runtime/transport/ControlAcceptorNet.h"

#include <netinet/in.h>
#include <netinet/tcp.h>

#include <cerrno>
#include <cstring>
#include <iostream>

namespace Control {
namespace {

constexpr unsigned kCheckPeriodMs = 1000;
// Checks in the fast mode that may find the congestion-avoidance state
// disturbed before the connection is given up.
constexpr int kCheckCount = 2;
// The part of the kernel's TCP_INFO record the check asks for; the state and
// the congestion-avoidance state are its first two bytes.
constexpr socklen_t kTcpInfoSize = 92;
constexpr uint8_t kTcpEstablished = 1;

void SetIntOption(int fd, int level, int option, int value) {
  // Probing is best effort: a socket that refuses an option is still served.
  (void)setsockopt(fd, level, option, &value, sizeof value);
}

}  // namespace

AcceptorNet::AcceptorNet(int port, bool verbose)
    : Acceptor<ServiceNet>("AcceptorNet::OnSocketEvent", verbose), port_(static_cast<uint16_t>(port)) {}

AcceptorNet::~AcceptorNet() = default;

int AcceptorNet::CreateSocket() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd >= 0) {
    // A restarted server must not wait for the old connections' TIME_WAIT.
    SetIntOption(fd, SOL_SOCKET, SO_REUSEADDR, 1);
  }
  return fd;
}

sockaddr_in AcceptorNet::Address() const {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  address.sin_port = htons(port_);
  return address;
}

int AcceptorNet::BindListener(int fd) {
  const sockaddr_in address = Address();
  return bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
}

std::string AcceptorNet::ListenAddress() const {
  return INet4::Addr(Address()).GetString();
}

INet4::Addr AcceptorNet::PeerOf(const sockaddr_storage& address, socklen_t) {
  sockaddr_in peer{};
  std::memcpy(&peer, &address, sizeof peer);
  return INet4::Addr(peer);
}

AcceptorNetCheckConnection::~AcceptorNetCheckConnection() = default;

bool AcceptorNetCheckConnection::ImplActivate() {
  (void)AcceptorNet::ImplActivate();
  CheckConnection();
  return true;
}

void AcceptorNetCheckConnection::ImplDeactivate() {
  check_timer_.reset();
  AcceptorNet::ImplDeactivate();
}

void AcceptorNetCheckConnection::ImplOnConnectionEnd() {
  // The stream layer has closed its descriptor; the accepted one kept here is
  // the last, and only closing it sends the peer its FIN.
  watched_.close();
  check_mode_ = CheckMode::Idle;
  counter_ = 0;
}

void AcceptorNetCheckConnection::ImplRefuseConnection() {
  if (check_mode_ != CheckMode::Idle) {
    return;
  }
  check_mode_ = CheckMode::CheckConnection;
  counter_ = kCheckCount;
  SetupKeepAlive(true);
  if (verbose()) {
    std::cerr << "CheckConnectionState CheckConnection" << std::endl;
  }
}

void AcceptorNetCheckConnection::ImplConnected(Fd fd) {
  watched_ = std::move(fd);
}

void AcceptorNetCheckConnection::OnCheckConnectionTimeout(Timer*) {
  CheckConnection();
}

void AcceptorNetCheckConnection::SetupKeepAlive(bool fast) {
  const int fd = watched_.get();
  SetIntOption(fd, SOL_SOCKET, SO_KEEPALIVE, 1);
  SetIntOption(fd, IPPROTO_TCP, TCP_KEEPIDLE, fast ? 1 : 7200);
  SetIntOption(fd, IPPROTO_TCP, TCP_KEEPINTVL, fast ? 1 : 75);
  SetIntOption(fd, IPPROTO_TCP, TCP_KEEPCNT, fast ? 3 : 9);
}

void AcceptorNetCheckConnection::EndCheckMode() {
  check_mode_ = CheckMode::Idle;
  SetupKeepAlive(false);
}

void AcceptorNetCheckConnection::CheckConnection() {
  check_timer_.set(kCheckPeriodMs, &AcceptorNetCheckConnection::OnCheckConnectionTimeout, this);
  if (state() != State::Connected) {
    return;
  }
  bool close = false;
  uint8_t info[kTcpInfoSize] = {};
  socklen_t len = sizeof info;
  if (getsockopt(watched_.get(), IPPROTO_TCP, TCP_INFO, info, &len) == 0) {
    const uint8_t tcp_state = info[0];
    const uint8_t ca_state = info[1];
    if (tcp_state != kTcpEstablished) {
      if (verbose()) {
        std::cerr << "connection from " << peer() << " closed: tcp socket change state." << std::endl;
      }
      close = true;
    }
    if (check_mode_ == CheckMode::CheckConnection && ca_state != 0) {
      if (counter_ > 0) {
        --counter_;
      }
      if (counter_ < 1) {
        if (verbose()) {
          std::cerr << "connection from " << peer() << " closed: tcp socket change ca_state." << std::endl;
        }
        close = true;
      }
    } else if (check_mode_ == CheckMode::CheckConnection) {
      EndCheckMode();
      if (verbose()) {
        std::cerr << "CheckConnectionState Idle" << std::endl;
      }
    }
  }
  int error = 0;
  len = sizeof error;
  const bool queried = getsockopt(watched_.get(), SOL_SOCKET, SO_ERROR, &error, &len) == 0;
  if (!queried || error != 0) {
    if (verbose()) {
      std::cerr << "connection from " << peer() << " closed: " << std::strerror(queried ? error : errno) << std::endl;
    }
    close = true;
  }
  if (!close) {
    return;
  }
  EndCheckMode();
  Disconnect();
  if (verbose()) {
    std::cerr << "CheckConnectionState Idle" << std::endl;
  }
}

}  // namespace Control
