#pragma once

#include <iostream>
#include <sstream>
#include <streambuf>

namespace bench {

// The log and error streams go nowhere while the object lives, as on a board
// whose syslog keeps up: a benchmark's own lines are not what it measures.
class QuietLogs {
 public:
  QuietLogs() : saved_log_(std::clog.rdbuf(sink_.rdbuf())), saved_err_(std::cerr.rdbuf(sink_.rdbuf())) {}
  ~QuietLogs() {
    std::clog.rdbuf(saved_log_);
    std::cerr.rdbuf(saved_err_);
  }
  QuietLogs(const QuietLogs&) = delete;
  QuietLogs& operator=(const QuietLogs&) = delete;
  void Drain() { sink_.str(""); }

 private:
  std::ostringstream sink_;
  std::streambuf* saved_log_;
  std::streambuf* saved_err_;
};

}  // namespace bench
