#include "runtime/net/CDR_Sender.h"

#include "runtime/net/INet4.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <sstream>

namespace CDR_Sender {

// Non-blocking: a full send queue drops the record instead of stalling the loop.
Sender::Sender() : fd_(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_UDP)) {
  if (!fd_) {
    std::cerr << "CDR: cannot open the UDP socket: " << std::strerror(errno) << std::endl;
  }
}

bool Sender::SendTo(const std::string& text, const std::string& addresses) {
  if (!fd_) {
    return false;
  }
  bool all_sent = true;
  std::istringstream words(addresses);
  std::string word;
  while (words >> word) {
    INet4::Addr address;
    if (!address.Assign(word)) {
      std::cerr << "CDR: bad address \"" << word << "\", record not sent there." << std::endl;
      all_sent = false;
      continue;
    }
    ssize_t sent;
    do {
      sent = sendto(fd_.get(), text.data(), text.size(), MSG_NOSIGNAL, address.GetSockAddr(), address.GetSockLen());
    } while (sent < 0 && errno == EINTR);
    if (sent < 0) {
      std::cerr << "CDR: send to " << address.GetString() << " failed: " << std::strerror(errno) << std::endl;
      all_sent = false;
    }
  }
  return all_sent;
}

}  // namespace CDR_Sender
