#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <vector>

namespace test_support {

// A UDP socket on 127.0.0.1 standing for the far end's RTCP port; the far
// end's RTP port is the one below it.
class UdpPeer {
 public:
  UdpPeer() : fd_(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
    const int on = 1;
    (void)setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
      port_ = ntohs(address.sin_port);
    }
  }
  ~UdpPeer() { close(fd_); }
  UdpPeer(const UdpPeer&) = delete;
  UdpPeer& operator=(const UdpPeer&) = delete;

  uint16_t rtp_port() const { return static_cast<uint16_t>(port_ - 1); }
  // The datagrams that have arrived, oldest first.
  std::vector<std::vector<uint8_t>> Received() const {
    std::vector<std::vector<uint8_t>> datagrams;
    uint8_t buffer[2048];
    ssize_t size;
    while ((size = recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT)) >= 0) {
      datagrams.emplace_back(buffer, buffer + size);
    }
    return datagrams;
  }
  // Waits (a few seconds at most) until count datagrams have arrived; those that did.
  std::vector<std::vector<uint8_t>> Wait(size_t count) const {
    std::vector<std::vector<uint8_t>> datagrams;
    pollfd entry{fd_, POLLIN, 0};
    while (datagrams.size() < count && poll(&entry, 1, 5000) > 0) {
      for (auto& datagram : Received()) {
        datagrams.push_back(std::move(datagram));
      }
    }
    return datagrams;
  }

 private:
  int fd_;
  uint16_t port_ = 0;
};

// An RTP port whose RTCP port (one above) no one uses: the kernel picks a free
// one and the socket is closed again, for the server to bind.
inline uint16_t FreeRtpPort() {
  UdpPeer probe;
  return probe.rtp_port();
}

}  // namespace test_support
