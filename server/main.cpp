#include "platform/BoardControl.h"
#include "runtime/log/ConsoleStreamBuf.h"
#include "server/Startup.h"

#include <cerrno>
#include <cstring>
#include <iostream>

int main(int argc, char** argv) {
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
