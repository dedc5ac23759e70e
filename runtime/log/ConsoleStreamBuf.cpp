#include "runtime/log/ConsoleStreamBuf.h"

#include "runtime/net/Fd.h"

#include <unistd.h>

#include <cstring>
#include <iostream>

namespace {

// Daemon mode gives the streams other buffers; these stay reachable, so the
// leak checker does not count them at exit.
ConsoleStreamBuf* standard_buffers[3];

}  // namespace

void ConsoleStreamBuf::UseForStandardStreams() {
  standard_buffers[0] = new ConsoleStreamBuf(STDOUT_FILENO);
  standard_buffers[1] = new ConsoleStreamBuf(STDERR_FILENO);
  standard_buffers[2] = new ConsoleStreamBuf(STDERR_FILENO);
  std::cout.rdbuf(standard_buffers[0]);
  std::cerr.rdbuf(standard_buffers[1]);
  std::clog.rdbuf(standard_buffers[2]);
  // The error stream flushes after every insertion by default, which would
  // write each piece of a line on its own again; its lines go out whole at
  // their line end instead.
  std::cerr.unsetf(std::ios::unitbuf);
}

int ConsoleStreamBuf::sync() {
  WriteHeld(held_.size());
  return 0;
}

ConsoleStreamBuf::int_type ConsoleStreamBuf::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) {
    return traits_type::not_eof(c);
  }
  const char character = traits_type::to_char_type(c);
  Hold(&character, 1);
  return c;
}

std::streamsize ConsoleStreamBuf::xsputn(const char* text, std::streamsize count) {
  Hold(text, static_cast<size_t>(count));
  return count;
}

void ConsoleStreamBuf::Hold(const char* text, size_t count) {
  held_.append(text, count);
  if (std::memchr(text, '\n', count) != nullptr) {
    WriteHeld(held_.rfind('\n') + 1);
    return;
  }
  if (held_.size() >= kHeldLimit) {
    WriteHeld(held_.size());
  }
}

void ConsoleStreamBuf::WriteHeld(size_t count) {
  static_cast<void>(WriteAll(fd_, std::string_view(held_.data(), count)));
  held_.erase(0, count);
}
