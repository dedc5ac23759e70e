#include "runtime/transport/ControlConnectorUnix.h"

#include "runtime/net/UnixPath.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>

namespace Control {
namespace {

constexpr unsigned kRefusedMs = 20000;
constexpr unsigned kPollFailureMs = 15000;

}  // namespace

ConnectorUnix::ConnectorUnix(const std::string& path, const std::string& local_path)
    : Connector<ServiceUnix>("ConnectorUnix::OnSocketEvent"), path_(path), local_path_(local_path) {}

ConnectorUnix::~ConnectorUnix() = default;

void ConnectorUnix::GiveUp(const char* what) {
  std::cerr << what << std::strerror(errno) << std::endl;
  Deactivate();
}

void ConnectorUnix::BindLocal() {
  const sockaddr_un local = UnixSocketAddress(local_path_);
  unlink(local.sun_path);
  if (bind(socket_.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    // The peer then sees an unnamed socket; the connection itself still works.
    std::cerr << "can't bind to domain socket '" << local_path_ << "': \"" << std::strerror(errno) << std::endl;
  }
}

void ConnectorUnix::TryConnect() {
  socket_event_.Release();
  socket_ = Fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!socket_) {
    GiveUp("can't create domain socket:");
    return;
  }
  if (!socket_.NonBlock()) {
    GiveUp("can't set domain socket to non block mode: ");
    return;
  }
  if (!local_path_.empty()) {
    BindLocal();
  }
  const sockaddr_un target = UnixSocketAddress(path_);
  if (connect(socket_.get(), reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0) {
    std::cerr << "can't connect to " << path_ << " : " << std::strerror(errno) << std::endl;
    Retry(kRefusedMs);
    return;
  }
  std::clog << "connected to " << path_ << std::endl;
  socket_event_.Schedule(socket_, POLLOUT);
  Connected(socket_, path_);
  // As for TCP: the stream layer's duplicate must be the last one, so that
  // the peer sees the end of the connection when the stack closes it.
  socket_.close();
}

void ConnectorUnix::OnSocketEvent(int, short revents) {
  if ((revents & (POLLERR | POLLHUP)) != 0) {
    std::cerr << "fail to connect to " << path_ << std::endl;
    socket_event_.Release();
    Retry(kPollFailureMs);
    return;
  }
  if ((revents & POLLOUT) != 0) {
    socket_event_.Release();
  }
}

}  // namespace Control
