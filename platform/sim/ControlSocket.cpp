#include "platform/sim/ControlSocket.h"

#include "platform/BoardPath.h"
#include "platform/Clock.h"
#include "platform/sim/Board.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>
#include <utility>
#include <vector>

namespace sim {
namespace {

// Longer lines are not commands; the client is dropped.
constexpr size_t kLongestLine = 4096;
// Twice the wrap of the 32-bit millisecond clock: far enough for any test,
// near enough that the clock's microsecond arithmetic cannot overflow.
constexpr unsigned long kLongestAdvanceMs = 1ul << 33;

void IgnoreWake(int) {}

// True when a server listens at the address: its socket is live, not left behind.
bool Serves(const sockaddr_un& address) {
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const bool serves = fd >= 0 && connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  if (fd >= 0) {
    close(fd);
  }
  return serves;
}

// The file system's identity of the file at path; {0, 0} when there is none.
std::pair<dev_t, ino_t> FileId(const std::string& path) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) {
    return {0, 0};
  }
  return {status.st_dev, status.st_ino};
}

struct Client {
  int fd;
  std::string pending;
};

std::vector<std::string> SplitWords(const std::string& line) {
  std::istringstream stream(line);
  std::vector<std::string> words;
  std::string word;
  while (stream >> word) {
    words.push_back(word);
  }
  return words;
}

void SendLine(int fd, const std::string& text) {
  std::string line = text + "\n";
  size_t sent = 0;
  while (sent < line.size()) {
    ssize_t n = send(fd, line.data() + sent, line.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      return;
    }
    sent += static_cast<size_t>(n);
  }
}

// Answers every complete line; false when the client must be dropped.
template <class Answerer>
bool AnswerLines(Client& client, Answerer answer) {
  size_t end;
  while ((end = client.pending.find('\n')) != std::string::npos) {
    std::string line = client.pending.substr(0, end);
    client.pending.erase(0, end + 1);
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    SendLine(client.fd, answer(line));
  }
  if (client.pending.size() > kLongestLine) {
    SendLine(client.fd, "error line too long");
    return false;
  }
  return true;
}

// Moves the loop clock as a clock command asks.
Reply MoveClock(const std::vector<std::string>& words) {
  const Reply usage{false, "usage: clock advance|back <ms> | clock set <32-bit ms>"};
  std::optional<unsigned long> ms = words.size() == 3 ? ParseNumber(words[2]) : std::nullopt;
  if (!ms || *ms > kLongestAdvanceMs) {
    return usage;
  }
  if (words[1] == "advance") {
    platform::clock_control::Advance(*ms);
  } else if (words[1] == "back") {
    platform::clock_control::StepBack(*ms);
  } else if (words[1] == "set" && *ms <= UINT32_MAX) {
    // Forward to the next moment the loop's 32-bit millisecond clock reads ms.
    timeval now{};
    platform::GetTimeOfDay(&now);
    const uint32_t reading = static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000 + now.tv_usec / 1000);
    platform::clock_control::Advance(static_cast<uint32_t>(*ms - reading));
  } else {
    return usage;
  }
  return Reply{true, ""};
}

}  // namespace

ControlSocket::ControlSocket() = default;

ControlSocket::~ControlSocket() {
  if (owner_ != getpid()) {
    return;
  }
  if (running_) {
    char stop = 0;
    while (write(stop_pipe_[1], &stop, 1) < 0 && errno == EINTR) {
    }
    pthread_join(thread_, nullptr);
  }
  Close();
}

int ControlSocket::WakeSignal() {
  return SIGRTMIN;
}

bool ControlSocket::Start() {
  if (running_ || listen_fd_ >= 0) {
    errno = EBUSY;
    return false;
  }
  owner_ = getpid();
  path_ = platform::BoardPath(kPath);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path_.size() >= sizeof address.sun_path) {
    errno = ENAMETOOLONG;
    return false;
  }
  std::memcpy(address.sun_path, path_.c_str(), path_.size() + 1);
  // Another server's board: taking its socket over would cut that server's tests off.
  if (Serves(address)) {
    errno = EADDRINUSE;
    return false;
  }
  listen_fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  // A socket file left by an earlier run would make bind fail.
  unlink(path_.c_str());
  if (listen_fd_ < 0 || bind(listen_fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    int error = errno;
    Close();
    errno = error;
    return false;
  }
  socket_file_ = FileId(path_);
  if (listen(listen_fd_, 8) != 0 || pipe2(stop_pipe_, O_CLOEXEC) != 0) {
    int error = errno;
    Close();
    errno = error;
    return false;
  }
  loop_thread_ = pthread_self();
  struct sigaction action {};
  action.sa_handler = IgnoreWake;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  sigaction(WakeSignal(), &action, nullptr);
  int error = pthread_create(&thread_, nullptr, &ControlSocket::Run, this);
  if (error != 0) {
    Close();
    errno = error;
    return false;
  }
  running_ = true;
  return true;
}

void ControlSocket::Close() {
  for (int* fd : {&listen_fd_, &stop_pipe_[0], &stop_pipe_[1]}) {
    if (*fd >= 0) {
      close(*fd);
      *fd = -1;
    }
  }
  // Only the socket file this object made: one that has taken its place stays.
  if (socket_file_.second != 0 && FileId(path_) == socket_file_) {
    unlink(path_.c_str());
  }
  socket_file_ = {0, 0};
}

void* ControlSocket::Run(void* self) {
  // The wake signal is meant for the loop's thread only.
  sigset_t wake;
  sigemptyset(&wake);
  sigaddset(&wake, WakeSignal());
  pthread_sigmask(SIG_BLOCK, &wake, nullptr);
  static_cast<ControlSocket*>(self)->Serve();
  return nullptr;
}

void ControlSocket::Serve() {
  std::vector<Client> clients;
  std::vector<pollfd> fds;
  for (;;) {
    fds.assign({pollfd{stop_pipe_[0], POLLIN, 0}, pollfd{listen_fd_, POLLIN, 0}});
    for (const Client& client : clients) {
      fds.push_back(pollfd{client.fd, POLLIN, 0});
    }
    if (poll(fds.data(), fds.size(), -1) < 0) {
      if (errno == EINTR) {
        continue;
      }
      break;
    }
    if (fds[0].revents != 0) {
      break;
    }
    // Clients first: their entries follow the two fixed ones in this order.
    for (size_t i = clients.size(); i-- > 0;) {
      if (fds[i + 2].revents == 0) {
        continue;
      }
      char buffer[1024];
      ssize_t n = recv(clients[i].fd, buffer, sizeof buffer, MSG_DONTWAIT);
      if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
        continue;
      }
      bool keep = n > 0;
      if (keep) {
        clients[i].pending.append(buffer, static_cast<size_t>(n));
        keep = AnswerLines(clients[i], [this](const std::string& line) { return Answer(line); });
      }
      if (!keep) {
        close(clients[i].fd);
        clients.erase(clients.begin() + static_cast<long>(i));
      }
    }
    if (fds[1].revents != 0) {
      int fd = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd >= 0) {
        clients.push_back(Client{fd, std::string()});
      }
    }
  }
  for (const Client& client : clients) {
    close(client.fd);
  }
}

std::string ControlSocket::Answer(const std::string& line) {
  std::vector<std::string> words = SplitWords(line);
  Reply reply{false, ""};
  if (!words.empty() && words[0] == "clock") {
    reply = MoveClock(words);
    if (reply.ok) {
      // The loop may sit in poll() with a long timeout: interrupt it so it
      // reads the clock again.
      pthread_kill(loop_thread_, WakeSignal());
    }
  } else {
    reply = Board::instance().Control(words);
  }
  std::string text = reply.ok ? "ok" : "error";
  return reply.text.empty() ? text : text + " " + reply.text;
}

}  // namespace sim
