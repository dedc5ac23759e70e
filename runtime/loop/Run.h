#pragma once

#include <sys/types.h>

#include <string>

namespace Linux {

// The pid file "/var/run/<name>.pid" (under the board root) for as long as the
// object lives. It is also what keeps one server per board root: its holder
// keeps an exclusive lock on it, which the kernel drops when the process ends,
// so a file left behind by a server that died, or naming a pid that another
// program has since been given, never stops a start. A file that cannot be
// opened, or that other files keep replacing while it is claimed, is skipped
// with one line on the error stream: the start goes on, but nothing keeps a
// second server off the root.
class Run {
 public:
  // With write_pid false a claimed file is emptied instead: a launcher about to
  // detach leaves it to the daemon's Write(), so it never names the launcher.
  explicit Run(const char* name, bool write_pid = true);
  ~Run();
  Run(const Run&) = delete;
  Run& operator=(const Run&) = delete;

  // False when a live process holds the file: it is left as it was, and this
  // object removes nothing.
  bool claimed() const { return holder_ == 0; }
  // The pid that the holder wrote, when the file is held by another; 0 when
  // claimed, -1 when the file does not say.
  pid_t holder() const { return holder_; }
  const std::string& path() const { return path_; }

  // Writes this process's pid over what the file held: a daemon's fork
  // changes the pid after the file was claimed. Returns the line that says why
  // it could not, for the caller to write where it will be seen; empty when
  // written.
  [[nodiscard]] std::string Write();

 private:
  std::string WriteFailure() const;

  int fd_ = -1;
  pid_t holder_ = 0;
  std::string path_;
};

}  // namespace Linux
