#include "runtime/protocol/StrmProtocol.h"

#include "runtime/clock/Mux.h"
#include "runtime/log/Ext.h"
#include "runtime/loop/Multiplexer.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <iostream>

namespace {

constexpr int32_t kWriteDeadlineMs = 1000;

int IntOption(int fd, int option) {
  int value = 0;
  socklen_t size = sizeof value;
  if (getsockopt(fd, SOL_SOCKET, option, &value, &size) != 0) {
    return -1;
  }
  return value;
}

int IntRequest(int fd, unsigned long request) {
  int value = 0;
  if (ioctl(fd, request, &value) != 0) {
    return -1;
  }
  return value;
}

// The socket's own pending error, which is what a POLLERR or POLLHUP is
// about; errno holds nothing related at that point.
std::string PendingErrorText(int fd, const char* when_none) {
  const int error = IntOption(fd, SO_ERROR);
  return error > 0 ? std::strerror(error) : when_none;
}

bool WouldBlock(int error) {
  return error == EAGAIN || error == EWOULDBLOCK;
}

}  // namespace

StrmProtocol::StrmProtocol() {
  event_.Bind("StrmProtocol::on_event", &StrmProtocol::on_event, this);
}

StrmProtocol::StrmProtocol(const Fd& fd) : StrmProtocol() {
  attach(fd);
}

StrmProtocol::~StrmProtocol() {
  release();
}

void StrmProtocol::attach(Fd fd) {
  release();
  fd_ = std::move(fd);
  outq_reports_free_ = outq_space() > 0;
}

void StrmProtocol::release() {
  if (!fd_) {
    return;
  }
  event_.Release();
  fd_.close();
}

bool StrmProtocol::peer_closed() const {
  if (!fd_) {
    return false;
  }
  pollfd entry{fd_.get(), POLLRDHUP, 0};
  return poll(&entry, 1, 0) == 1 && (entry.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

void StrmProtocol::local_prepare_head(Packet& packet) {
  packet.reserve_head(0);
}

void StrmProtocol::local_prepare_tail(Packet& packet) {
  packet.reserve_tail(0);
}

void StrmProtocol::local_activate() {
  if (!fd_) {
    on_deactivate(Smart_pointer<Internal_protocol_status>(new Protocol_status_error(this, "fd not attached")));
    return;
  }
  event_.Schedule(fd_, POLLIN);
  if (!event_.GetFd()) {
    // The loop polls a duplicate, and none could be had (EMFILE): a stack
    // reported up would never read.
    const std::string text = std::string("can't watch the socket: ") + std::strerror(errno);
    std::cerr << ext::header(this) << text << std::endl;
    on_error(text);
    return;
  }
  on_activate();
}

void StrmProtocol::local_deactivate() {
  release();
  on_deactivate(Smart_pointer<Internal_protocol_status>(new Protocol_status_success(this, "success")));
}

void StrmProtocol::on_event(int, short revents) {
  if (!fd_) {
    return;
  }
  if (revents & POLLERR) {
    on_error("pollerr: " + PendingErrorText(fd_.get(), "unknown error"));
    return;
  }
  // Data that came with the hang-up is read first; the end of the stream is
  // then seen by a later read.
  if (revents & POLLIN) {
    read();
    return;
  }
  if (revents & POLLHUP) {
    on_error("pollhup: " + PendingErrorText(fd_.get(), "peer closed the connection"));
  }
}

void StrmProtocol::read() {
  Packet packet;
  packet.reserve_head(0);
  read_measure_.begin();
  const ssize_t received = recv(fd_.get(), packet.tail_buffer(), packet_max_size, MSG_DONTWAIT | MSG_NOSIGNAL);
  const int error = errno;
  read_measure_.end();
  if (received < 0) {
    if (!WouldBlock(error) && error != EINTR) {
      on_error(std::string("read error: ") + std::strerror(error));
    }
    return;
  }
  if (received == 0) {
    on_error("read error: peer closed the connection");
    return;
  }
  packet.advance_tail(static_cast<unsigned>(received));
  on_message(packet);
}

void StrmProtocol::message(Packet& packet) {
  packet.passert(packet.get() != nullptr, "null packet");
  if (!fd_) {
    return;
  }
  write_measure_.begin();
  write_all(packet.data(), packet.length());
  write_measure_.end();
}

void StrmProtocol::write_all(const uint8_t* bytes, unsigned len) {
  const uint32_t start_ms = Mux::milliseconds();
  while (len > 0) {
    const ssize_t written = send(fd_.get(), bytes, len, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (written >= 0) {
      bytes += written;
      len -= static_cast<unsigned>(written);
      continue;
    }
    const int error = errno;
    if (error == EINTR) {
      continue;
    }
    if (!WouldBlock(error)) {
      log_write_failure("write error", error);
      on_error(std::string("write error: ") + std::strerror(error));
      return;
    }
    if (!wait_writable(start_ms)) {
      log_write_failure("write timeout", 0);
      on_error("write timeout");
      return;
    }
  }
}

bool StrmProtocol::wait_writable(uint32_t start_ms) {
  const int32_t time_left = static_cast<int32_t>(start_ms + kWriteDeadlineMs - Mux::milliseconds());
  if (time_left < 1) {
    return false;
  }
  multiplexer.resetWD();
  pollfd entry{fd_.get(), POLLOUT, 0};
  const int ready = poll(&entry, 1, time_left);
  const int error = errno;
  multiplexer.resetWD();
  return ready == 1 || (ready < 0 && error == EINTR);
}

void StrmProtocol::log_write_failure(const char* what, int error) {
  ++overflow_counter_;
  std::cerr << ext::header(this) << what << ", sendbuf=" << sendbuf_space() << ", recvbuf=" << recvbuf_space()
            << ", free=" << free_space() << ", inq=" << inq_space() << ", outq=" << outq_space();
  if (error != 0) {
    std::cerr << ", error=" << std::strerror(error);
  }
  std::cerr << std::endl;
}

void StrmProtocol::on_error(const std::string& text) {
  release();
  on_deactivate(Smart_pointer<Internal_protocol_status>(new Protocol_status_error(this, text)));
}

int StrmProtocol::sendbuf_space() const {
  return IntOption(fd_.get(), SO_SNDBUF);
}

int StrmProtocol::recvbuf_space() const {
  return IntOption(fd_.get(), SO_RCVBUF);
}

int StrmProtocol::free_space() const {
  if (outq_reports_free_) {
    return outq_space();
  }
  return sendbuf_space() - outq_space();
}

int StrmProtocol::inq_space() const {
  return IntRequest(fd_.get(), FIONREAD);
}

int StrmProtocol::outq_space() const {
  return IntRequest(fd_.get(), TIOCOUTQ);
}

void StrmProtocol::PutHeader(std::ostream& os) const {
  os << "SockStream[" << service_name_ << "]: ";
}
