#include "slots/AuthClient.h"

#include "platform/ByteOrder.h"
#include "slots/ModemFactory.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace AuthLink {

uint32_t TypeOf(const AuthRecord& record) {
  return platform::LoadBe32(&record[4]);
}

uint32_t SessionOf(const AuthRecord& record) {
  return platform::LoadBe32(&record[8]);
}

}  // namespace AuthLink

namespace {

// Counts an operation of the client for the time of a scope.
class Use {
 public:
  explicit Use(int& count) : count_(count) { ++count_; }
  ~Use() { --count_; }
  Use(const Use&) = delete;
  Use& operator=(const Use&) = delete;

 private:
  int& count_;
};

}  // namespace

AuthClient::AuthClient(Fd fd, const INet4::Addr& peer, ModemFactory& factory) : peer_(peer), factory_(factory) {
  event_.Bind("AuthClient::OnSocketEvent", &AuthClient::OnSocketEvent, this);
  event_.Schedule(fd, 0);
}

void AuthClient::Activate() {
  if (IsOpen()) {
    event_.Schedule(event_.GetFd(), POLLIN);
  }
}

void AuthClient::OnSocketEvent(int, short revents) {
  {
    Use use(use_count_);
    if ((revents & (POLLERR | POLLHUP)) != 0) {
      OnDisconnect();
    } else if ((revents & POLLIN) != 0) {
      ReadPass();
    }
  }
  CheckDisconnect();
}

void AuthClient::ReadPass() {
  while (IsOpen()) {
    const ssize_t n = read(event_.GetFd().get(), buffer_.data() + fill_, end_ - fill_);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n < 0 && errno == EAGAIN) {
      return;
    }
    if (n <= 0) {
      OnDisconnect();
      return;
    }
    fill_ += static_cast<size_t>(n);
    if (fill_ == end_) {
      OnBytes();
    }
  }
}

void AuthClient::OnBytes() {
  const uint32_t size = platform::LoadBe32(buffer_.data());
  // Shorter than its header, a record has no type or session to route it by.
  if (size < AuthLink::kHeaderSize || size > AuthLink::kMaxRecordSize) {
    OnDisconnect();
    return;
  }
  if (fill_ < size) {
    end_ = size;
    return;
  }
  const AuthRecord record(buffer_.begin(), buffer_.begin() + size);
  fill_ = 0;
  end_ = 4;
  session_ = AuthLink::SessionOf(record);
  factory_.OnAuth(record);
}

bool AuthClient::Send(const AuthRecord& record) {
  bool sent = false;
  {
    Use use(use_count_);
    size_t done = 0;
    while (IsOpen() && done < record.size()) {
      const ssize_t n = write(event_.GetFd().get(), record.data() + done, record.size() - done);
      if (n < 0 && errno == EINTR) {
        continue;
      }
      if (n <= 0) {
        OnDisconnect();
        break;
      }
      done += static_cast<size_t>(n);
    }
    sent = IsOpen() && done == record.size();
  }
  CheckDisconnect();
  return sent;
}

void AuthClient::OnDisconnect() {
  event_.Release();
}

void AuthClient::CheckDisconnect() {
  if (use_count_ == 0 && !IsOpen()) {
    factory_.OnAuthSocketDisconnect(this);
  }
}
