#pragma once

#include <sys/types.h>

#include <cstddef>

namespace platform {

// Calls on the board's character devices, with the shapes of the system calls.
// On the board they are the system calls. On the host build a board device path
// (for example "/dev/hal") opens the simulated board's driver of that name, and
// every later call on a descriptor it handed out (or a duplicate of one) goes to
// that driver; calls on any other descriptor go to the system. Results and errno
// follow the system calls.
//
// Device records passed to Ioctl are byte buffers in the board's byte order
// (built with BeWriter); request codes are the board's literal constants.
int Open(const char* path, int flags);
int Ioctl(int fd, unsigned long request, void* record);
int IoctlValue(int fd, unsigned long request, unsigned long value);
ssize_t Read(int fd, void* buffer, size_t size);
ssize_t Write(int fd, const void* buffer, size_t size);
int Close(int fd);

}  // namespace platform
