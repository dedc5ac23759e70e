#include "runtime/loop/Run.h"

#include "platform/BoardPath.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <iostream>

namespace Linux {
namespace {

// The pid a holder wrote: the decimal number that fills the file, or -1.
pid_t ReadPid(int fd) {
  char text[32];
  const ssize_t length = pread(fd, text, sizeof text, 0);
  pid_t pid = -1;
  if (length <= 0) {
    return -1;
  }
  const auto [end, error] = std::from_chars(text, text + length, pid);
  return error == std::errc() && end == text + length && pid > 0 ? pid : -1;
}

// Whether fd is the file that path names now.
bool IsAtPath(int fd, const std::string& path) {
  struct stat own {};
  struct stat named {};
  return fstat(fd, &own) == 0 && stat(path.c_str(), &named) == 0 && own.st_dev == named.st_dev &&
         own.st_ino == named.st_ino;
}

// Claims that found another file at the path before giving up: a file system
// whose identities never agree would otherwise keep the start spinning.
constexpr int kClaimTries = 5;

}  // namespace

Run::Run(const char* name, bool write_pid) : path_(platform::BoardPath(std::string("/var/run/") + name + ".pid")) {
  for (int tries = 0;; ++tries) {
    if (tries == kClaimTries) {
      std::cerr << "can't claim pid file " << path_ << ": another file keeps taking its place"
                << " (no guard against a second server)" << std::endl;
      return;
    }
    // Not truncated on open: the file may be a live server's. Close-on-exec:
    // child programs must neither hold the file open nor keep its lock.
    fd_ = open(path_.c_str(), O_RDWR | O_CREAT | O_SYNC | O_CLOEXEC, 0644);
    if (fd_ < 0) {
      const int error = errno;
      std::cerr << "can't open pid file " << path_ << ": " << std::strerror(error)
                << " (no guard against a second server)" << std::endl;
      return;
    }
    // A file system without locks only loses the guard.
    if (flock(fd_, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
      // A holder that has not written its pid yet still counts: -1.
      holder_ = ReadPid(fd_);
      close(fd_);
      fd_ = -1;
      return;
    }
    // A server that stops removes the file before it lets go of it: a lock
    // taken in between holds a file that no longer guards the path, and the
    // next start makes a new one there.
    if (IsAtPath(fd_, path_)) {
      break;
    }
    close(fd_);
    fd_ = -1;
  }
  std::string failure;
  if (write_pid) {
    failure = Write();
  } else if (ftruncate(fd_, 0) != 0) {
    failure = WriteFailure();
  }
  if (!failure.empty()) {
    std::cerr << failure << std::endl;
  }
}

Run::~Run() {
  if (fd_ < 0) {
    return;
  }
  // Only the file this object claimed: one put in its place (removed by hand,
  // then claimed by another server) stays. Removed before the lock goes, so no
  // server can claim the file in between.
  if (IsAtPath(fd_, path_)) {
    unlink(path_.c_str());
  }
  close(fd_);
}

std::string Run::Write() {
  if (fd_ < 0) {
    return {};
  }
  const std::string pid = std::to_string(getpid());
  // A short write to a full disk sets no errno of its own.
  errno = ENOSPC;
  if (ftruncate(fd_, 0) != 0 || pwrite(fd_, pid.data(), pid.size(), 0) != static_cast<ssize_t>(pid.size()) ||
      fsync(fd_) != 0) {
    return WriteFailure();
  }
  return {};
}

std::string Run::WriteFailure() const {
  return "can't write pid file " + path_ + ": " + std::strerror(errno);
}

}  // namespace Linux
