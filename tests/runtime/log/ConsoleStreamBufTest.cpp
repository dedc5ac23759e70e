#include "runtime/log/ConsoleStreamBuf.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace {

// A descriptor that keeps each write apart: one record per write() call.
class WriteRecorder {
 public:
  WriteRecorder() { EXPECT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK, 0, ends_), 0); }
  ~WriteRecorder() {
    close(ends_[0]);
    close(ends_[1]);
  }
  int fd() const { return ends_[0]; }
  std::vector<std::string> Writes() {
    std::vector<std::string> writes;
    std::string buffer(2 * ConsoleStreamBuf::kHeldLimit, '\0');
    ssize_t size;
    while ((size = recv(ends_[1], buffer.data(), buffer.size(), 0)) >= 0) {
      writes.emplace_back(buffer.data(), static_cast<size_t>(size));
    }
    return writes;
  }

 private:
  int ends_[2] = {-1, -1};
};

TEST(ConsoleStreamBuf, WritesEachLineOnceItIsComplete) {
  const std::string long_text(ConsoleStreamBuf::kHeldLimit, 'x');
  const struct {
    const char* name;
    std::function<void(std::ostream&)> write;
    std::vector<std::string> writes;
  } kCases[] = {
      {"pieces of one line",
       [](std::ostream& os) { os << "mux: slot " << 10 << " -> " << 11 << std::endl; },
       {"mux: slot 10 -> 11\n"}},
      {"line end as a character", [](std::ostream& os) { os << "a" << '\n'; }, {"a\n"}},
      {"lines and the start of the next", [](std::ostream& os) { os << "a\nb\nc"; }, {"a\nb\n"}},
      {"unfinished line at a flush", [](std::ostream& os) { os << "part" << std::flush; }, {"part"}},
      {"long text without line end", [&](std::ostream& os) { os << long_text; }, {long_text}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    WriteRecorder recorder;
    ConsoleStreamBuf buffer(recorder.fd());
    std::ostream os(&buffer);
    c.write(os);
    EXPECT_EQ(recorder.Writes(), c.writes);
  }
}

// The error and log streams share a descriptor: a line one of them is still
// writing neither splits nor is split by the lines of the other.
TEST(ConsoleStreamBuf, StreamsOnOneDescriptorKeepTheirLinesWhole) {
  WriteRecorder recorder;
  ConsoleStreamBuf error_buffer(recorder.fd());
  ConsoleStreamBuf log_buffer(recorder.fd());
  std::ostream error(&error_buffer);
  std::ostream log(&log_buffer);
  error << "refuse connection from ";
  log << "mux: disconnect slot " << 11 << std::endl;
  error << "127.0.0.1:4000" << std::endl;
  EXPECT_EQ(recorder.Writes(),
            (std::vector<std::string>{"mux: disconnect slot 11\n", "refuse connection from 127.0.0.1:4000\n"}));
}

}  // namespace
