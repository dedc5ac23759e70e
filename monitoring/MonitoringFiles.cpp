#include "monitoring/MonitoringFiles.h"

#include "platform/BoardPath.h"
#include "runtime/log/TraceFlags.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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
  std::clog << what << " <" << path << "> with code=" << errno << std::endl;
}

bool StartsWith(const std::string& text, const char* prefix) {
  return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

// One name serves every file of a directory: each is renamed into place
// before the next is written.
std::string TemporaryPath(const std::string& path) {
  return path.substr(0, path.rfind('/') + 1) + kTemporaryName;
}

// "7" or "-12", as the server writes a number into a file name.
bool IsIntegerText(const std::string& text) {
  const size_t first_digit = StartsWith(text, "-") ? 1 : 0;
  return text.size() > first_digit && text.find_first_not_of("0123456789", first_digit) == std::string::npos;
}

// The names of the files the server writes at the top of kRoot; every entry
// beginning with "board" is one, as the controller's boards are cleared so.
bool IsServerFile(const std::string& name) {
  const std::string path = kRoot + name;
  return path == kDipPath || path == kPowerStatusPath || path == kConfigVersionPath || StartsWith(path, kBoardPrefix) ||
         (StartsWith(path, kEmPhonePrefix) &&
          IsIntegerText(path.substr(std::char_traits<char>::length(kEmPhonePrefix))));
}

bool WriteAll(int fd, const std::string& content) {
  size_t done = 0;
  while (done < content.size()) {
    const ssize_t written = write(fd, content.data() + done, content.size() - done);
    if (written < 0 && errno == EINTR) {
      continue;
    }
    if (written <= 0) {
      return false;
    }
    done += static_cast<size_t>(written);
  }
  return true;
}

std::vector<std::string> EntryNames(const std::string& directory, bool& readable) {
  std::vector<std::string> names;
  DIR* dir = opendir(platform::BoardPath(directory).c_str());
  readable = dir != nullptr;
  if (dir == nullptr) {
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

bool IsDirectory(const std::string& path) {
  struct stat status {};
  // lstat: the "self" link leads to a directory that is walked on its own.
  return lstat(platform::BoardPath(path).c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

// Removes the entry, a directory with everything below it; a link goes itself,
// not what it points to.
void RemoveAll(const std::string& path) {
  if (IsDirectory(path)) {
    bool readable = false;
    for (const std::string& name : EntryNames(path, readable)) {
      RemoveAll(path + "/" + name);
    }
  }
  remove(platform::BoardPath(path).c_str());
}

void RemoveTemporaryFiles(const std::string& directory, int depth) {
  bool readable = false;
  for (const std::string& name : EntryNames(directory, readable)) {
    const std::string path = directory + name;
    if (name == kTemporaryName) {
      RemoveAll(path);
    } else if (depth > 0 && IsDirectory(path)) {
      RemoveTemporaryFiles(path + "/", depth - 1);
    }
  }
}

bool MakeDirectory(const std::string& path) {
  if (mkdir(platform::BoardPath(path).c_str(), kDirectoryMode) == 0 || (errno == EEXIST && IsDirectory(path))) {
    return true;
  }
  LogFailure("FAIL create monitoring catalog", path);
  return false;
}

bool LinkPointsTo(const std::string& link, const std::string& target) {
  char text[PATH_MAX];
  const ssize_t size = readlink(platform::BoardPath(link).c_str(), text, sizeof text);
  return size >= 0 && std::string(text, static_cast<size_t>(size)) == target;
}

// Points the "self" link at the directory, replacing it in one step.
void PointSelfLink(const std::string& directory) {
  const std::string link = std::string(kControllerDir) + "self";
  const std::string target = platform::BoardPath(directory);
  if (LinkPointsTo(link, target)) {
    return;
  }
  const std::string temporary = platform::BoardPath(TemporaryPath(link));
  unlink(temporary.c_str());
  if (symlink(target.c_str(), temporary.c_str()) != 0 ||
      rename(temporary.c_str(), platform::BoardPath(link).c_str()) != 0) {
    LogFailure("FAIL create symlink to monitoring catalog", directory);
    unlink(temporary.c_str());
  }
}

}  // namespace

bool IsServerEntry(const std::string& name) {
  const std::string directory = kRoot + name + "/";
  return IsServerFile(name) || directory == kTermCounterDir || directory == kControllerDir;
}

bool SaveStatusToFile(const std::string& path, const std::string& content) {
  const std::string temporary = TemporaryPath(path);
  const std::string host_temporary = platform::BoardPath(temporary);
  const int fd = open(host_temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, kFileMode);
  if (fd < 0) {
    LogFailure("FAIL create temporary file", temporary);
    return false;
  }
  const bool written = WriteAll(fd, content);
  const bool closed = close(fd) == 0;
  if (!written || !closed || rename(host_temporary.c_str(), platform::BoardPath(path).c_str()) != 0) {
    LogFailure("FAIL write monitoring file", path);
    unlink(host_temporary.c_str());
    return false;
  }
  return true;
}

void CheckForMonDir(const std::string& path) {
  if (!IsDirectory(path)) {
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
  RemoveTemporaryFiles(kRoot, kTreeDepth);
  bool readable = false;
  for (const std::string& name : EntryNames(kRoot, readable)) {
    if (IsServerFile(name)) {
      // Whatever an earlier run left in a file's place would fail every write of it.
      RemoveAll(kRoot + name);
    } else {
      // Not recursive: a directory that still holds files stays.
      remove(platform::BoardPath(kRoot + name).c_str());
    }
  }
}

bool ClearBoardFiles() {
  bool readable = false;
  const std::vector<std::string> names = EntryNames(kRoot, readable);
  for (const std::string& name : names) {
    if (!StartsWith(kRoot + name, kBoardPrefix)) {
      continue;
    }
    if (traces.monitoring.internal) {
      std::clog << "remove monitoring info: " << name << std::endl;
    }
    remove(platform::BoardPath(kRoot + name).c_str());
  }
  return readable;
}

}  // namespace MonitoringFiles
