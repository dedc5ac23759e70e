#pragma once

#include <ostream>

namespace Trace {

// Writes "Enter <name>" now and "Leave <name>" when the scope ends, when enabled.
class Block {
 public:
  Block(bool enabled, const char* name, std::ostream& stream) : enabled_(enabled), name_(name), stream_(stream) {
    if (enabled_) {
      stream_ << "Enter " << name_ << std::endl;
    }
  }
  ~Block() {
    if (enabled_) {
      stream_ << "Leave " << name_ << std::endl;
    }
  }
  Block(const Block&) = delete;
  Block& operator=(const Block&) = delete;

 private:
  bool enabled_;
  const char* name_;
  std::ostream& stream_;
};

}  // namespace Trace
