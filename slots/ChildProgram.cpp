#include "slots/ChildProgram.h"

#include "platform/BoardPath.h"
#include "platform/Clock.h"
#include "runtime/net/Fd.h"
#include "slots/PathCheck.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace ChildProgram {
namespace {

// Folders of the board a program named by the controller must lie in.
constexpr const char* kProgramFolders[] = {"/usr/local/sbin/", "/usr/local/bin/"};

// Set by start-up before any child runs; read only in the forked child.
std::optional<rlimit> children_open_files;

// Makes fd the child's descriptor target, kept across the exec.
void Redirect(int fd, int target) {
  if (fd == target) {
    static_cast<void>(fcntl(target, F_SETFD, 0));
  } else if (fd >= 0) {
    static_cast<void>(dup2(fd, target));
  }
}

[[noreturn]] void RunChild(const Launch& launch, char* const* argv, int status_fd) {
  Redirect(launch.stdin_fd, 0);
  Redirect(launch.stdout_fd, 1);
  if (children_open_files) {
    static_cast<void>(setrlimit(RLIMIT_NOFILE, &*children_open_files));
  }
  if (launch.delay_us != 0) {
    platform::SleepMicroseconds(launch.delay_us);
  }
  if (launch.banner != nullptr) {
    static_cast<void>(write(1, launch.banner, std::strlen(launch.banner)));
    static_cast<void>(write(1, "\n", 1));
  }
  execv(launch.path.c_str(), argv);
  const int error = errno;
  if (status_fd >= 0) {
    static_cast<void>(write(status_fd, &error, sizeof error));
  }
  static const char kFailure[] = "fail to exec!\n";
  static_cast<void>(write(2, kFailure, sizeof kFailure - 1));
  _exit(launch.exec_failed);
}

}  // namespace

std::optional<std::string> AllowedProgram(const std::string& board_path) {
  if (board_path.find('\0') != std::string::npos || HasParentComponent(board_path)) {
    return std::nullopt;
  }
  for (const char* folder : kProgramFolders) {
    const size_t length = std::strlen(folder);
    if (board_path.size() > length && board_path.compare(0, length, folder) == 0) {
      return platform::BoardPath(board_path);
    }
  }
  return std::nullopt;
}

void KeepOpenFilesLimit(const rlimit& limit) {
  children_open_files = limit;
}

int Start(const Launch& launch, Fd* exec_status) {
  // Everything the child needs is built before the fork.
  std::vector<char*> argv;
  for (const std::string& argument : launch.argv) {
    argv.push_back(const_cast<char*>(argument.c_str()));
  }
  argv.push_back(nullptr);
  Fd read_end;
  Fd write_end;
  if (exec_status != nullptr) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
      return -1;
    }
    read_end = Fd(ends[0]);
    write_end = Fd(ends[1]);
  }
  const pid_t pid = fork();
  if (pid == 0) {
    RunChild(launch, argv.data(), write_end.get());
  }
  if (pid < 0) {
    return -1;
  }
  if (exec_status != nullptr) {
    *exec_status = std::move(read_end);
  }
  return pid;
}

int ExecError(const Fd& exec_status) {
  int error = 0;
  // A failed exec writes before the child ends, so no word (EOF, or EAGAIN
  // while a child forked since holds a copy of the write end) means it worked.
  return read(exec_status.get(), &error, sizeof error) == static_cast<ssize_t>(sizeof error) ? error : 0;
}

}  // namespace ChildProgram
