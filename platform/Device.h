#pragma once

#include <sys/types.h>

#include <cstddef>

namespace platform {

// Calls on the board's character devices, with the shapes of the system calls;
// results and errno follow the system calls. On the board they are the system
// calls.
//
// On the host build the simulated board (platform/sim/) stands in for the
// kernel drivers:
// - Open takes the board path as written ("/dev/hal", "/dev/mdm3"). When the
//   simulated board has a driver of that path, the driver opens it (or fails it,
//   ENOENT when the device is absent); otherwise the path is opened through
//   BoardPath, so a device the simulation lacks is missing (ENOENT) unless a
//   test put a file of that name under the board root (with a board root set,
//   the workstation's own /dev is never touched).
// - A descriptor a driver hands out is a real, non-blocking, pollable socket
//   carrying one record per read. Ioctl, IoctlValue, Read, Write and Close on
//   it, or on any duplicate of it, reach that driver; on any other descriptor
//   they are the system calls. The driver releases the open once every
//   duplicate is closed: through Close at once, through plain close() at the
//   board's next Open or Close, or at its next call once the loop clock has
//   moved on by a millisecond. Until then a descriptor number a plain close()
//   freed also still reaches its old open, even when something else took it;
//   so a board descriptor is closed through Close (an Fd closes through it).
//
// Device records passed to Ioctl are byte buffers in the board's byte order
// (built with BeWriter); request codes are the board's literal constants.
int Open(const char* path, int flags);
int Ioctl(int fd, unsigned long request, void* record);
int IoctlValue(int fd, unsigned long request, unsigned long value);
ssize_t Read(int fd, void* buffer, size_t size);
ssize_t Write(int fd, const void* buffer, size_t size);
int Close(int fd);

// A socket that only carries network-interface requests (SIOCGIFNAME,
// SIOCGIFFLAGS, SIOCGIFADDR, SIOCGIFCONF through Ioctl; Close to release it).
// On the board it is socket(); on the host build the simulated board's
// interface table answers (platform/sim/NetInterfacesDriver.h), whatever the
// domain, so no host privilege or host interface is involved.
int InterfaceSocket(int domain, int type, int protocol);

}  // namespace platform
