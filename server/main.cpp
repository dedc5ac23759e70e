#include "platform/BoardControl.h"
#include "runtime/log/ConsoleStreamBuf.h"
#include "server/Startup.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>

namespace {

// Descriptors 0, 1 and 2 left closed by whoever started the server get
// /dev/null, before anything else is opened: the pid file or a device would
// otherwise take one of them and have log lines written into it, or be closed
// under it when the daemon puts /dev/null there.
void OpenStandardDescriptors() {
  for (;;) {
    const int fd = open("/dev/null", O_RDWR);
    if (fd < 0) {
      const int error = errno;
      std::cerr << "standard descriptors: can't open /dev/null: " << std::strerror(error) << std::endl;
      return;
    }
    if (fd > STDERR_FILENO) {
      close(fd);
      return;
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  OpenStandardDescriptors();
  // Daemon mode replaces these by the syslog buffers.
  ConsoleStreamBuf::UseForStandardStreams();
  Startup startup;
  if (std::optional<int> status = startup.Begin(argc, argv)) {
    return *status;
  }
  // After the daemon's fork, which would leave the board's serving thread behind.
  if (!platform::StartBoardControl()) {
    const int error = errno;
    std::cerr << "board control " << platform::BoardControlPath() << ": " << std::strerror(error) << std::endl;
  }
  return startup.Run();
}
