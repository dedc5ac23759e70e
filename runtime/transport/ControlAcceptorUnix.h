#pragma once

#include "runtime/transport/ControlAcceptor.h"
#include "runtime/transport/ControlService.h"

#include <sys/socket.h>

#include <string>

namespace Control {

// The acceptor of a Unix stream socket at a path: as the TCP acceptor, with
// the peer's socket path (often empty) as the peer text. The socket file
// stays when it stops.
class AcceptorUnix : public Acceptor<ServiceUnix> {
 public:
  AcceptorUnix() : AcceptorUnix(std::string()) {}
  explicit AcceptorUnix(const std::string& path);
  ~AcceptorUnix() override;

  const std::string& path() const { return path_; }

 protected:
  int CreateSocket() override;
  // Removes whatever is left at the path first.
  int BindListener(int fd) override;
  std::string ListenAddress() const override { return path_; }
  std::string PeerOf(const sockaddr_storage& address, socklen_t len) override;

 private:
  std::string path_;
};

}  // namespace Control
