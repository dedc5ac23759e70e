#pragma once

#include <cstddef>
#include <streambuf>
#include <string>

// A standard stream's buffer for the console: it holds what is written until a
// line is complete and then writes the complete lines with one system call, so
// a log line costs one write instead of one per inserted piece, and lines of
// the output and error streams keep their order. A flush writes whatever is
// held, an unfinished line too.
class ConsoleStreamBuf : public std::streambuf {
 public:
  // Text held beyond this is written even without a line end.
  static constexpr size_t kHeldLimit = 16384;

  // Gives the output, error and log streams buffers on descriptors 1, 2 and 2.
  // The buffers are never freed: the streams use them until the very end, after
  // every static object is gone, and the runtime's final flush writes them out.
  static void UseForStandardStreams();

  explicit ConsoleStreamBuf(int fd) : fd_(fd) {}
  ConsoleStreamBuf(const ConsoleStreamBuf&) = delete;
  ConsoleStreamBuf& operator=(const ConsoleStreamBuf&) = delete;

 protected:
  int sync() override;
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* text, std::streamsize count) override;

 private:
  void Hold(const char* text, size_t count);
  // Writes the first count bytes held and drops them; a console that refuses
  // them loses them rather than stopping the log.
  void WriteHeld(size_t count);

  int fd_;
  std::string held_;
};
