#include "runtime/net/FindProc.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

// The command name sits between the first "(" and the last ")" of the stat
// line; cutting at the last one keeps names that contain ")" themselves.
bool HasCommandName(int pid, const char* name) {
  char path[64];
  std::snprintf(path, sizeof path, "/proc/%d/stat", pid);
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return false;
  }
  char text[256];
  ssize_t length = read(fd, text, sizeof text - 1);
  close(fd);
  if (length <= 0) {
    return false;
  }
  std::string stat(text, static_cast<size_t>(length));
  size_t close_paren = stat.rfind(')');
  size_t open_paren = stat.find('(');
  if (close_paren == std::string::npos || open_paren == std::string::npos || open_paren > close_paren) {
    return false;
  }
  return stat.compare(open_paren + 1, close_paren - open_paren - 1, name) == 0;
}

int PidOfEntry(const char* entry_name) {
  int pid = 0;
  const char* end = entry_name + std::strlen(entry_name);
  auto [rest, error] = std::from_chars(entry_name, end, pid);
  return error == std::errc() && rest == end ? pid : 0;
}

}  // namespace

int find_proc_by_name(const char* name, int pid) {
  // The first guess is the process found last time; once it has gone (or its
  // number serves another program) the search starts afresh.
  if (pid > 0 && HasCommandName(pid, name)) {
    return pid;
  }
  DIR* proc = opendir("/proc");
  if (proc == nullptr) {
    return -1;
  }
  int result = -1;
  while (const dirent* entry = readdir(proc)) {
    int candidate = PidOfEntry(entry->d_name);
    if (candidate > 0 && HasCommandName(candidate, name)) {
      result = candidate;
      break;
    }
  }
  closedir(proc);
  return result;
}
