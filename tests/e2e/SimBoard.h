#pragma once

#include <string>

namespace e2e {

class ServerProcess;

// A client of the simulated board's control socket under a running server:
// one command line out, one answer line back.
class SimBoard {
 public:
  explicit SimBoard(ServerProcess& server) : server_(server) {}
  ~SimBoard();
  SimBoard(const SimBoard&) = delete;
  SimBoard& operator=(const SimBoard&) = delete;

  [[nodiscard]] bool Connect();
  // The answer line ("ok ...", "error ..."), or "<no answer>".
  std::string Ask(const std::string& command);
  // Moves the server's loop clock forward.
  [[nodiscard]] bool AdvanceClock(unsigned ms);

 private:
  ServerProcess& server_;
  int fd_ = -1;
  std::string pending_;
};

}  // namespace e2e
