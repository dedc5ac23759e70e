#include "runtime/loop/Run.h"

#include "platform/BoardPath.h"

#include <fcntl.h>
#include <unistd.h>

namespace Linux {

Run::Run(const char* name) : path_(platform::BoardPath(std::string("/var/run/") + name + ".pid")) {
  // Close-on-exec: child programs must not hold the pid file open.
  fd_ = open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_SYNC | O_CLOEXEC, 0644);
  if (fd_ < 0) {
    return;
  }
  std::string pid = std::to_string(getpid());
  if (write(fd_, pid.data(), pid.size()) == static_cast<ssize_t>(pid.size())) {
    fsync(fd_);
  }
}

Run::~Run() {
  if (fd_ < 0) {
    return;
  }
  close(fd_);
  unlink(path_.c_str());
}

}  // namespace Linux
