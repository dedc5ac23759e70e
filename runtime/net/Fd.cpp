#include "runtime/net/Fd.h"

#include "platform/Device.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace {

bool ChangeStatusFlag(int fd, int flag, bool on) {
  int flags = fcntl(fd, F_GETFL);
  if (flags < 0) {
    return false;
  }
  flags = on ? flags | flag : flags & ~flag;
  return fcntl(fd, F_SETFL, flags) == 0;
}

}  // namespace

Fd::Fd(const Fd& other) : fd_(other.dup()) {}

Fd::Fd(Fd&& other) noexcept : fd_(other.fd_) {
  other.fd_ = -1;
}

Fd& Fd::operator=(const Fd& other) {
  if (this != &other) {
    Replace(other.dup());
  }
  return *this;
}

Fd& Fd::operator=(Fd&& other) noexcept {
  if (this != &other) {
    Replace(other.fd_);
    other.fd_ = -1;
  }
  return *this;
}

Fd::~Fd() {
  Replace(-1);
}

int Fd::close() {
  if (fd_ < 0) {
    errno = EBADF;
    return -1;
  }
  int result = platform::Close(fd_);
  fd_ = -1;
  return result;
}

int Fd::dup() const {
  if (fd_ < 0) {
    return -1;
  }
  return fcntl(fd_, F_DUPFD_CLOEXEC, 0);
}

bool Fd::NonBlock() const {
  return fd_ >= 0 && NonBlockMode(fd_);
}

void Fd::Replace(int fd) {
  if (fd_ >= 0) {
    int saved_errno = errno;
    platform::Close(fd_);
    errno = saved_errno;
  }
  fd_ = fd;
}

bool NonBlockMode(int fd) {
  return ChangeStatusFlag(fd, O_NONBLOCK, true);
}

bool BlockMode(int fd) {
  return ChangeStatusFlag(fd, O_NONBLOCK, false);
}

bool WriteAll(int fd, std::string_view text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t written = write(fd, text.data() + done, text.size() - done);
    if (written < 0 && errno == EINTR) {
      continue;
    }
    if (written <= 0) {
      return false;
    }
    done += static_cast<size_t>(written);
  }
  return true;
}

bool SetCloexec(int fd, bool on) {
  int flags = fcntl(fd, F_GETFD);
  if (flags < 0) {
    return true;
  }
  flags = on ? flags | FD_CLOEXEC : flags & ~FD_CLOEXEC;
  return fcntl(fd, F_SETFD, flags) != 0;
}
