#include "monitoring/MonitoringFiles.h"

#include "platform/BoardPath.h"
#include "runtime/log/TraceFlags.h"
#include "runtime/net/Fd.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <iostream>
#include <vector>

namespace MonitoringFiles {
namespace {

// Readers list and enter the directories; the umask still applies.
constexpr mode_t kDirectoryMode = 0755;
constexpr mode_t kFileMode = 0666;
// The deepest tree written: "/var/monitoring/" section / index / name.
constexpr int kTreeDepth = 3;

void LogFailure(const char* what, const std::string& path) {
  const int error = errno;
  std::clog << what << " <" << Printable(path) << "> with code=" << error << std::endl;
}

bool StartsWith(const std::string& text, const char* prefix) {
  return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

// "7" or "-12", exactly as the server writes a number into a file name.
bool IsNumberAsWritten(const std::string& text) {
  int value = 0;
  const char* end = text.data() + text.size();
  const auto [rest, error] = std::from_chars(text.data(), end, value);
  return error == std::errc() && rest == end && std::to_string(value) == text;
}

// The names of the files the server writes at the top of kRoot.
bool IsServerFile(const std::string& name) {
  const std::string path = kRoot + name;
  const auto is_numbered = [&path](const char* prefix) {
    return StartsWith(path, prefix) && IsNumberAsWritten(path.substr(std::char_traits<char>::length(prefix)));
  };
  return path == kDipPath || path == kPowerStatusPath || path == kConfigVersionPath || is_numbered(kBoardPrefix) ||
         is_numbered(kEmPhonePrefix);
}

// An entry of the parent directory opened as a directory, or -1 when it is a
// link, no directory or missing (errno tells which).
int OpenBelow(int parent, const std::string& name) {
  return openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// An open directory of the monitoring folder. Everything below kRoot is
// reached without following a link, so nothing written or removed through it
// lies outside the folder, whatever links an earlier run or another program
// left there, even one put in place of a directory while it is walked. kRoot
// itself is the board's to place and may be a link.
class Directory {
 public:
  // The directory at a path of kRoot or below it.
  explicit Directory(const std::string& path) {
    assert(StartsWith(path, kRoot) && "every monitoring path lies below its folder");
    fd_ = open(platform::BoardPath(kRoot).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    size_t start = std::char_traits<char>::length(kRoot);
    while (fd_ >= 0 && start < path.size()) {
      const size_t end = std::min(path.find('/', start), path.size());
      if (end > start) {
        const int next = OpenBelow(fd_, path.substr(start, end - start));
        const int open_errno = errno;
        close(fd_);
        errno = open_errno;
        fd_ = next;
      }
      start = end + 1;
    }
  }
  // The entry of parent, when it is a directory.
  Directory(const Directory& parent, const std::string& name) : fd_(OpenBelow(parent.fd_, name)) {}
  ~Directory() {
    if (fd_ >= 0) {
      close(fd_);
    }
  }
  Directory(const Directory&) = delete;
  Directory& operator=(const Directory&) = delete;

  bool IsOpen() const { return fd_ >= 0; }
  int fd() const { return fd_; }

  std::vector<std::string> EntryNames() const {
    std::vector<std::string> names;
    // A descriptor of its own: closedir closes it.
    const int fd = openat(fd_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = fd < 0 ? nullptr : fdopendir(fd);
    if (dir == nullptr) {
      if (fd >= 0) {
        close(fd);
      }
      return names;
    }
    while (const dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") {
        names.push_back(name);
      }
    }
    closedir(dir);
    return names;
  }

  bool HoldsDirectory(const std::string& name) const {
    struct stat status {};
    return fstatat(fd_, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(status.st_mode);
  }

  // As remove() does: a file or link goes, a directory only when empty.
  void Remove(const std::string& name) const {
    if (unlinkat(fd_, name.c_str(), 0) != 0 && errno == EISDIR) {
      unlinkat(fd_, name.c_str(), AT_REMOVEDIR);
    }
  }

 private:
  int fd_ = -1;
};

// Removes the entry, a directory with everything below it; a link goes itself,
// not what it points to.
void RemoveAll(const Directory& parent, const std::string& name) {
  const Directory directory(parent, name);
  if (directory.IsOpen()) {
    for (const std::string& entry : directory.EntryNames()) {
      RemoveAll(directory, entry);
    }
  }
  parent.Remove(name);
}

void RemoveTemporaryFiles(const Directory& directory, int depth) {
  for (const std::string& name : directory.EntryNames()) {
    if (name == kTemporaryName) {
      RemoveAll(directory, name);
      continue;
    }
    if (depth > 0) {
      const Directory below(directory, name);
      if (below.IsOpen()) {
        RemoveTemporaryFiles(below, depth - 1);
      }
    }
  }
}

bool MakeDirectory(const std::string& path) {
  if (path == kRoot) {
    if (mkdir(platform::BoardPath(path).c_str(), kDirectoryMode) == 0 ||
        (errno == EEXIST && Directory(path).IsOpen())) {
      return true;
    }
    LogFailure("FAIL create monitoring catalog", path);
    return false;
  }
  const std::string trimmed = path.back() == '/' ? path.substr(0, path.size() - 1) : path;
  const size_t slash = trimmed.rfind('/');
  const std::string name = trimmed.substr(slash + 1);
  const Directory parent(trimmed.substr(0, slash + 1));
  if (parent.IsOpen() &&
      (mkdirat(parent.fd(), name.c_str(), kDirectoryMode) == 0 || (errno == EEXIST && parent.HoldsDirectory(name)))) {
    return true;
  }
  LogFailure("FAIL create monitoring catalog", path);
  return false;
}

bool LinkPointsTo(const Directory& directory, const char* link, const std::string& target) {
  char text[PATH_MAX];
  const ssize_t size = readlinkat(directory.fd(), link, text, sizeof text);
  return size >= 0 && std::string(text, static_cast<size_t>(size)) == target;
}

// Points the "self" link at the directory, replacing it in one step.
void PointSelfLink(const std::string& directory) {
  const Directory controllers(kControllerDir);
  if (!controllers.IsOpen()) {
    LogFailure("FAIL create symlink to monitoring catalog", directory);
    return;
  }
  const std::string target = platform::BoardPath(directory);
  if (LinkPointsTo(controllers, "self", target)) {
    return;
  }
  unlinkat(controllers.fd(), kTemporaryName, 0);
  if (symlinkat(target.c_str(), controllers.fd(), kTemporaryName) != 0 ||
      renameat(controllers.fd(), kTemporaryName, controllers.fd(), "self") != 0) {
    LogFailure("FAIL create symlink to monitoring catalog", directory);
    unlinkat(controllers.fd(), kTemporaryName, 0);
  }
}

}  // namespace

std::string Printable(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (c >= 0x20 && c != 0x7F) {
      out += static_cast<char>(c);
      continue;
    }
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
    out += escaped;
  }
  return out;
}

bool IsServerEntry(const std::string& name) {
  const std::string directory = kRoot + name + "/";
  return IsServerFile(name) || directory == kTermCounterDir || directory == kControllerDir;
}

bool SaveStatusToFile(const std::string& path, const std::string& content) {
  const size_t slash = path.rfind('/');
  const std::string name = path.substr(slash + 1);
  const Directory directory(path.substr(0, slash + 1));
  int fd = -1;
  if (directory.IsOpen()) {
    // Made afresh, so a leftover of any kind, a link too, is never written through.
    unlinkat(directory.fd(), kTemporaryName, 0);
    fd = openat(directory.fd(), kTemporaryName, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kFileMode);
  }
  if (fd < 0) {
    // Named by the file the report is for: the temporary is ours alone.
    LogFailure("FAIL create temporary file", path);
    return false;
  }
  const bool written = WriteAll(fd, content);
  const bool closed = close(fd) == 0;
  if (!written || !closed || renameat(directory.fd(), kTemporaryName, directory.fd(), name.c_str()) != 0) {
    LogFailure("FAIL write monitoring file", path);
    unlinkat(directory.fd(), kTemporaryName, 0);
    return false;
  }
  return true;
}

void CheckForMonDir(const std::string& path) {
  if (!Directory(path).IsOpen()) {
    (void)MakeDirectory(path);
  }
}

void CheckForMonControllerDir(const std::string& dotted_address, bool self) {
  if (!MakeDirectory(kControllerDir)) {
    return;
  }
  const std::string directory = kControllerDir + dotted_address;
  if (!MakeDirectory(directory) || !self) {
    return;
  }
  PointSelfLink(directory);
}

void ClearMonitorFiles() {
  const Directory root(kRoot);
  if (!root.IsOpen()) {
    return;
  }
  RemoveTemporaryFiles(root, kTreeDepth);
  for (const std::string& name : root.EntryNames()) {
    if (IsServerFile(name)) {
      // Whatever an earlier run left in a file's place would fail every write of it.
      RemoveAll(root, name);
    } else {
      // Not recursive: a directory that still holds files stays.
      root.Remove(name);
    }
  }
}

bool ClearBoardFiles() {
  const Directory root(kRoot);
  if (!root.IsOpen()) {
    return false;
  }
  for (const std::string& name : root.EntryNames()) {
    if (!StartsWith(kRoot + name, kBoardPrefix)) {
      continue;
    }
    if (traces.monitoring.internal) {
      std::clog << "remove monitoring info: " << Printable(name) << std::endl;
    }
    root.Remove(name);
  }
  return true;
}

}  // namespace MonitoringFiles
