#pragma once

#include <sys/resource.h>

#include <optional>
#include <string>
#include <vector>

class Fd;

// Starting the board's child programs (the PPP daemon, the fax and T.38 programs).
namespace ChildProgram {

// How the child behaves between the fork and the exec.
struct Launch {
  std::string path;               // resolved on the host: under the board root
  std::vector<std::string> argv;  // argv[0] included
  const char* banner = nullptr;   // written to the standard output before the exec
  unsigned delay_us = 0;          // waited before the exec
  int stdin_fd = -1;              // when set, the child's standard input
  int stdout_fd = -1;             // when set, the child's standard output
  int exec_failed = 2;            // the child's exit code when the exec fails
};

// The host path of a program the controller named: inside the board's program
// folders, with no ".." component; nothing otherwise, so the link cannot run
// an arbitrary file of the board.
std::optional<std::string> AllowedProgram(const std::string& board_path);

// The open-files limit children get instead of the server's: start-up raises
// its own for the slots' descriptors, and a program that walks every possible
// descriptor (up to _SC_OPEN_MAX) would slow down under a large one.
void KeepOpenFilesLimit(const rlimit& limit);

// Forks and executes the program. The child makes only async-signal-safe calls
// and ends with _exit(2) when the exec fails, so it never flushes or tears down
// the server's objects. Returns the child's pid, or -1 with errno when the fork
// failed. With exec_status set, it receives the non-blocking read end of a
// close-on-exec pipe on which a failed exec leaves its errno: the child may
// block before its exec (its banner goes to a log that may stall), so the
// caller reads it with ExecError only once the child has ended.
int Start(const Launch& launch, Fd* exec_status = nullptr);

// 0 when the ended child's exec worked, else the errno of the failed exec.
[[nodiscard]] int ExecError(const Fd& exec_status);

}  // namespace ChildProgram
