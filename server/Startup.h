#pragma once

#include "runtime/loop/Dpc.h"
#include "runtime/loop/Run.h"

#include <memory>
#include <optional>

// The gateway server's life: start-up in its fixed order up to listening for
// the controller, the event loop, and the shutdown that destroys every slot.
// Owns the pid file and the deferred call that acts on the signal flags.
class Startup {
 public:
  Startup() = default;
  Startup(const Startup&) = delete;
  Startup& operator=(const Startup&) = delete;

  // Configuration, signal handlers, command line, hardware, daemon mode, pid
  // file, services, child reaping and the controller listener. Returns the exit
  // status when the process must leave at once (help, version, a bad option or
  // authentication port, or the pid file held by a live server on the same
  // board root).
  [[nodiscard]] std::optional<int> Begin(int argc, char** argv);
  // Runs the loop until SIGTERM or SIGINT, then drops the controller (every
  // slot goes), shuts monitoring down and removes the pid file. Returns the
  // exit status.
  [[nodiscard]] int Run();

 private:
  std::unique_ptr<Linux::Run> pid_file_;
  Dpc check_signals_;
};
