#include "tests/e2e/SimBoard.h"

#include "tests/e2e/ServerProcess.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

namespace e2e {

SimBoard::~SimBoard() {
  if (fd_ >= 0) {
    close(fd_);
  }
}

bool SimBoard::Connect() {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string path = server_.Path("/var/run/board-sim.sock");
  if (path.size() >= sizeof address.sun_path) {
    return false;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
    return true;
  }
  close(fd_);
  fd_ = -1;
  return false;
}

std::string SimBoard::Ask(const std::string& command) {
  if (fd_ < 0 && !Connect()) {
    return "<no answer>";
  }
  const std::string line = command + "\n";
  if (send(fd_, line.data(), line.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(line.size())) {
    return "<no answer>";
  }
  for (;;) {
    size_t end = pending_.find('\n');
    if (end != std::string::npos) {
      std::string answer = pending_.substr(0, end);
      pending_.erase(0, end + 1);
      return answer;
    }
    if ((server_.Wait(fd_, POLLIN) & (POLLIN | POLLHUP)) == 0) {
      return "<no answer>";
    }
    char buffer[512];
    ssize_t count = recv(fd_, buffer, sizeof buffer, 0);
    if (count <= 0) {
      return "<no answer>";
    }
    pending_.append(buffer, static_cast<size_t>(count));
  }
}

bool SimBoard::AdvanceClock(unsigned ms) {
  return Ask("clock advance " + std::to_string(ms)) == "ok";
}

}  // namespace e2e
