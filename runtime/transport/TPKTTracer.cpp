#include "runtime/transport/TPKTTracer.h"

#include "platform/ByteOrder.h"
#include "runtime/net/INet4.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/uio.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <iterator>

namespace {

// RFC 1006: version 3, reserved 0, 16-bit length of the whole frame.
constexpr unsigned kHeaderSize = 4;
constexpr unsigned kMaxPayload = 0xFFFF - kHeaderSize;

bool WouldBlock(int error) {
  return error == EAGAIN || error == EWOULDBLOCK;
}

}  // namespace

bool TPKTTracer::Listen(unsigned short port) {
  Fd fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_TCP));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  address.sin_port = htons(port);
  if (!fd || bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      listen(fd.get(), 1) != 0) {
    std::cerr << "TPKTTracer: cannot listen on port " << port << ": " << std::strerror(errno) << std::endl;
    return false;
  }
  listener_.Bind("TPKTTracer::OnEvent", &TPKTTracer::OnEvent, this);
  listener_.Schedule(fd, POLLIN);
  return static_cast<bool>(listener_.GetFd());
}

void TPKTTracer::OnEvent(int fd, short revents) {
  if ((revents & POLLIN) == 0) {
    return;
  }
  for (;;) {
    sockaddr_in peer{};
    socklen_t len = sizeof peer;
    // Non-blocking from the start, so no read or send of a client can stall the loop.
    Fd accepted(accept4(fd, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_CLOEXEC | SOCK_NONBLOCK));
    if (!accepted) {
      if (errno == EINTR) {
        continue;
      }
      return;
    }
    std::clog << "ACP connection open from " << INet4::Addr(peer).GetString() << std::endl;
    Connection& connection = connections_.emplace_back();
    connection.event.Bind("TPKTTracer::OnDataEvent", &TPKTTracer::OnDataEvent, this);
    connection.event.Schedule(accepted, POLLIN);
    if (!connection.event.GetFd()) {
      CloseConnection(std::prev(connections_.end()), "no descriptor left");
    }
  }
}

void TPKTTracer::OnDataEvent(int fd, short revents) {
  const auto connection = FindConnection(fd);
  if (connection == connections_.end()) {
    return;
  }
  if ((revents & (POLLERR | POLLHUP)) != 0) {
    CloseConnection(connection, "");
    return;
  }
  if ((revents & POLLIN) != 0) {
    (void)ReadFrames(connection);
  }
}

bool TPKTTracer::ReadFrames(Connections::iterator connection) {
  Connection& c = *connection;
  for (;;) {
    // Never more than the part still expected, so nothing lands past the buffer.
    const ssize_t n = recv(c.event.GetFd().get(), c.buffer.data() + c.received, c.expected - c.received, MSG_NOSIGNAL);
    if (n > 0) {
      c.received += static_cast<uint32_t>(n);
      if (c.received == c.expected && !OnBytesComplete(connection)) {
        return false;
      }
      continue;
    }
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n < 0 && WouldBlock(errno)) {
      return true;
    }
    CloseConnection(connection, n == 0 ? "" : std::string("receive failed: ") + std::strerror(errno));
    return false;
  }
}

bool TPKTTracer::OnBytesComplete(Connections::iterator connection) {
  Connection& c = *connection;
  c.received = 0;
  if (c.state == Connection::kHeader) {
    const unsigned length = platform::LoadBe16(&c.buffer[2]);
    if (c.buffer[0] != 0x03 || c.buffer[1] != 0x00 || length < kHeaderSize) {
      CloseConnection(connection, "bad TPKT header");
      return false;
    }
    if (length - kHeaderSize > c.buffer.size()) {
      CloseConnection(connection, "frame of " + std::to_string(length) + " bytes is over the buffer");
      return false;
    }
    // An empty payload has nothing to deliver: the next header follows.
    if (length > kHeaderSize) {
      c.state = Connection::kBody;
      c.expected = length - kHeaderSize;
    }
    return true;
  }
  served_ = connection;
  if (handler_ != nullptr) {
    handler_->OnMessage(c.buffer.data(), c.expected);
  }
  served_ = connections_.end();
  if (!c.event.GetFd()) {
    connections_.erase(connection);
    return false;
  }
  c.state = Connection::kHeader;
  c.expected = kHeaderSize;
  return true;
}

void TPKTTracer::Send(const void* data, unsigned len) {
  if (len > kMaxPayload) {
    // The length field would wrap and every client would lose the framing.
    std::cerr << "TPKTTracer: message of " << len << " bytes too long for a TPKT frame, not sent." << std::endl;
    return;
  }
  uint8_t header[kHeaderSize] = {0x03, 0x00};
  platform::StoreBe16(header + 2, static_cast<uint16_t>(len + kHeaderSize));
  if (served_ != connections_.end()) {
    if (served_->event.GetFd()) {
      (void)SendTo(served_, header, data, len);
    }
    return;
  }
  for (auto connection = connections_.begin(); connection != connections_.end();) {
    const auto next = std::next(connection);
    (void)SendTo(connection, header, data, len);
    connection = next;
  }
}

bool TPKTTracer::SendTo(Connections::iterator connection, const uint8_t* header, const void* data, unsigned len) {
  iovec pieces[2] = {{const_cast<uint8_t*>(header), kHeaderSize}, {const_cast<void*>(data), len}};
  msghdr message{};
  message.msg_iov = pieces;
  message.msg_iovlen = 2;
  ssize_t sent;
  do {
    sent = sendmsg(connection->event.GetFd().get(), &message, MSG_NOSIGNAL | MSG_DONTWAIT);
  } while (sent < 0 && errno == EINTR);
  if (sent < 0) {
    CloseConnection(connection, std::string("send failed: ") + std::strerror(errno));
    return false;
  }
  if (static_cast<size_t>(sent) != len + kHeaderSize) {
    CloseConnection(connection,
                    "took " + std::to_string(sent) + " of " + std::to_string(len + kHeaderSize) + " bytes, too slow");
    return false;
  }
  return true;
}

void TPKTTracer::CloseConnection(Connections::iterator connection, const std::string& reason) {
  if (!reason.empty()) {
    std::cerr << "TPKTTracer: connection closed: " << reason << '.' << std::endl;
  }
  if (connection == served_) {
    // The handler still reads the frame from this buffer: only the socket goes now.
    connection->event.Release();
    return;
  }
  connections_.erase(connection);
}

TPKTTracer::Connections::iterator TPKTTracer::FindConnection(int fd) {
  for (auto connection = connections_.begin(); connection != connections_.end(); ++connection) {
    if (connection->event.GetFd().get() == fd) {
      return connection;
    }
  }
  return connections_.end();
}
