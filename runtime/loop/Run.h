#pragma once

#include <string>

namespace Linux {

// The pid file "/var/run/<name>.pid" (under the board root) for as long as the
// object lives. A file that cannot be opened is silently skipped.
class Run {
 public:
  explicit Run(const char* name);
  ~Run();
  Run(const Run&) = delete;
  Run& operator=(const Run&) = delete;

 private:
  int fd_ = -1;
  std::string path_;
};

}  // namespace Linux
