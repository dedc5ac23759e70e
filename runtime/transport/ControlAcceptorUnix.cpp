#include "runtime/transport/ControlAcceptorUnix.h"

#include "runtime/net/UnixPath.h"

#include <unistd.h>

#include <cstddef>
#include <cstring>

namespace Control {

AcceptorUnix::AcceptorUnix(const std::string& path)
    : Acceptor<ServiceUnix>("AcceptorUnix::OnSocketEvent", true), path_(path) {}

AcceptorUnix::~AcceptorUnix() = default;

int AcceptorUnix::CreateSocket() {
  return socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
}

int AcceptorUnix::BindListener(int fd) {
  const sockaddr_un address = UnixSocketAddress(path_);
  // A file left by an earlier run would make the bind fail for ever.
  unlink(address.sun_path);
  return bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
}

std::string AcceptorUnix::PeerOf(const sockaddr_storage& address, socklen_t len) {
  sockaddr_un peer{};
  std::memcpy(&peer, &address, sizeof peer);
  const size_t offset = offsetof(sockaddr_un, sun_path);
  const size_t room = len > offset ? std::min<size_t>(len - offset, sizeof peer.sun_path) : 0;
  return std::string(peer.sun_path, strnlen(peer.sun_path, room));
}

}  // namespace Control
