#include "runtime/async/AsyncConnect.h"

#include "runtime/net/INet4.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>

namespace ASync {

void Connect::Start(const std::string& address, unsigned timeout_ms) {
  state_ = Status::kConnecting;
  socket_ = Fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP));
  if (!socket_ || !socket_.NonBlock()) {
    Complete(Status::kFailed);
    return;
  }
  // An address that does not parse must not become 0.0.0.0, which Linux
  // takes for the local host.
  INet4::Addr peer;
  int port = -1;
  if (!peer.Assign(address, &port) || port < 0) {
    Complete(Status::kFailed);
    return;
  }
  if (connect(socket_.get(), peer.GetSockAddr(), peer.GetSockLen()) == 0) {
    Complete(Status::kConnected);
    return;
  }
  if (errno != EINPROGRESS) {
    Complete(Status::kFailed);
    return;
  }
  event_.Bind("Connect::OnSocketEvent", &Connect::OnSocketEvent, this);
  event_.Schedule(socket_, POLLOUT);
  timer_.set(timeout_ms, &Connect::OnTimeOut, this);
}

void Connect::Stop() {
  Complete(Status::kStopped);
}

void Connect::OnSocketEvent(int fd, short revents) {
  if ((revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
    Complete(Status::kFailed);
    return;
  }
  if ((revents & POLLOUT) == 0) {
    return;
  }
  int error = 0;
  socklen_t length = sizeof error;
  bool failed = getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0;
  Complete(failed ? Status::kFailed : Status::kConnected);
}

void Connect::OnTimeOut(Timer*) {
  Complete(Status::kFailed);
}

void Connect::Complete(Status::Type status) {
  if (state_ != Status::kConnecting) {
    return;
  }
  state_ = status;
  Fd kept;
  if (status == Status::kConnected) {
    kept = socket_;
  }
  socket_.close();
  event_.Release();
  event_.UnBind();
  timer_.reset();
  if (handler_ != nullptr) {
    handler_->Invoke(status, kept);
  }
}

}  // namespace ASync
