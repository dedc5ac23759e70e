#pragma once

#include <pthread.h>
#include <sys/types.h>

#include <string>
#include <utility>

namespace sim {

// The simulated board's control socket: a Unix stream socket at
// BoardPath("/var/run/board-sim.sock"), served by a thread of its own, through
// which an end-to-end test reaches the board under a running server. Only the
// host build of the server starts it (platform::StartBoardControl); in-process
// tests use the drivers directly.
//
// Protocol: one command per line, "<device-or-subsystem> <command> [args]",
// words separated by blanks; every line is answered by one line, "ok" or
// "ok <text>" on success, "error <text>" otherwise. Numbers are decimal or
// 0x-hexadecimal; an errno is a name (EIO) or a number.
//   board list                          -> ok <device path> ...
//   clock advance <ms>                  moves the loop clock forward (at most
//                                       2^33 ms at once) and wakes the loop's poll()
//   clock back <ms>                     moves it back (a clock stepped by hand)
//   clock set <ms>                      moves it forward to when the loop's 32-bit
//                                       millisecond clock reads <ms>
//   <device> absent on|off              open fails with ENOENT while on
//   <device> fail open|read|write|<request> <count> <errno>
//                                       the next <count> such calls fail
//   <device> hangup                     the driver hangs up every open
//   <device> opens                      -> ok <number of opens>
//   <device> requests                   -> ok <code>:<record hex>|<code>=<value> ...
//   <device> <driver command> [args]    whatever the driver registered
//                                       (Driver::AddCommand), for example
//   /dev/misc/gw-wd log                 -> ok START@<s>.<us> PING@<s>.<us> ...
class ControlSocket {
 public:
  static constexpr const char* kPath = "/var/run/board-sim.sock";

  ControlSocket();
  // Stops the thread and removes the socket file it made (not one that has
  // since taken its place). In a forked child (a child program whose exec
  // failed and that exits) it leaves both to the parent.
  ~ControlSocket();
  ControlSocket(const ControlSocket&) = delete;
  ControlSocket& operator=(const ControlSocket&) = delete;

  // Listens and starts serving. The calling thread is the loop whose poll() a
  // clock advance interrupts. False, with errno set, when the socket or the
  // thread cannot be made; EADDRINUSE when another server on this board root
  // serves the socket, which is left alone.
  [[nodiscard]] bool Start();

  // The signal that interrupts the loop's poll() (its handler does nothing).
  static int WakeSignal();

 private:
  static void* Run(void* self);
  void Serve();
  void Close();
  std::string Answer(const std::string& line);

  std::string path_;
  // The device and inode of the socket file once bound; {0, 0} before.
  std::pair<dev_t, ino_t> socket_file_{0, 0};
  int listen_fd_ = -1;
  int stop_pipe_[2] = {-1, -1};
  bool running_ = false;
  pthread_t thread_{};
  pthread_t loop_thread_{};
  pid_t owner_ = -1;
};

}  // namespace sim
