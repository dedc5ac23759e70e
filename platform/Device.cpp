#include "platform/Device.h"

#include "platform/BoardPath.h"

#ifndef GATEWAY_BOARD
#include "platform/sim/Board.h"
#include "platform/sim/NetInterfacesDriver.h"
#endif

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

#ifdef GATEWAY_BOARD

int Open(const char* path, int flags) {
  return open(path, flags, 0666);
}

int Ioctl(int fd, unsigned long request, void* record) {
  return ioctl(fd, request, record);
}

int IoctlValue(int fd, unsigned long request, unsigned long value) {
  return ioctl(fd, request, value);
}

ssize_t Read(int fd, void* buffer, size_t size) {
  return read(fd, buffer, size);
}

ssize_t Write(int fd, const void* buffer, size_t size) {
  return write(fd, buffer, size);
}

int Close(int fd) {
  return close(fd);
}

int InterfaceSocket(int domain, int type, int protocol) {
  return socket(domain, type | SOCK_CLOEXEC, protocol);
}

#else

namespace {

// The board answers like the kernel: a result, or -errno.
long SystemResult(long result) {
  if (result < 0) {
    errno = static_cast<int>(-result);
    return -1;
  }
  return result;
}

}  // namespace

int Open(const char* path, int flags) {
  if (std::optional<long> result = sim::Board::instance().Open(path, flags)) {
    return static_cast<int>(SystemResult(*result));
  }
  return open(BoardPath(path).c_str(), flags, 0666);
}

int Ioctl(int fd, unsigned long request, void* record) {
  if (std::optional<long> result = sim::Board::instance().Ioctl(fd, request, record)) {
    return static_cast<int>(SystemResult(*result));
  }
  return ioctl(fd, request, record);
}

int IoctlValue(int fd, unsigned long request, unsigned long value) {
  if (std::optional<long> result = sim::Board::instance().IoctlValue(fd, request, value)) {
    return static_cast<int>(SystemResult(*result));
  }
  return ioctl(fd, request, value);
}

ssize_t Read(int fd, void* buffer, size_t size) {
  if (std::optional<long> result = sim::Board::instance().Read(fd, buffer, size)) {
    return SystemResult(*result);
  }
  return read(fd, buffer, size);
}

ssize_t Write(int fd, const void* buffer, size_t size) {
  if (std::optional<long> result = sim::Board::instance().Write(fd, buffer, size)) {
    return SystemResult(*result);
  }
  return write(fd, buffer, size);
}

int Close(int fd) {
  if (std::optional<long> result = sim::Board::instance().Close(fd)) {
    return static_cast<int>(SystemResult(*result));
  }
  return close(fd);
}

int InterfaceSocket(int, int, int) {
  std::optional<long> result = sim::Board::instance().Open(sim::NetInterfacesDriver::kPath, O_RDWR | O_CLOEXEC);
  if (!result) {
    errno = ENOENT;
    return -1;
  }
  return static_cast<int>(SystemResult(*result));
}

#endif

}  // namespace platform
