#pragma once

#include <cstddef>
#include <memory>
#include <streambuf>

// A standard stream's buffer that passes every line written to it to the system
// log at one priority. Lines are cut at each newline when the stream is flushed;
// a text without newline waits until the buffer is full.
class SysLogStreamBuf : public std::basic_streambuf<char> {
 public:
  // facility as in the syslog header (LOG_DAEMON is 24), level 0 to 7.
  SysLogStreamBuf(int facility, int level);
  SysLogStreamBuf(const SysLogStreamBuf&) = delete;
  SysLogStreamBuf& operator=(const SysLogStreamBuf&) = delete;

 protected:
  SysLogStreamBuf(int facility, int level, size_t area_size);

  int sync() override;
  int_type overflow(int_type c) override;

  // One message; the plain kind goes through the C library.
  virtual void Log(const char* message);
  // Called once the messages of one flush are logged.
  virtual void Send() {}

  const int priority_;

 private:
  void Empty();

  const size_t area_size_;
  // The last byte holds the NUL that ends the pending text.
  std::unique_ptr<char[]> area_;
};

// The kind the daemon installs: lines go to the server's own syslog client, and
// each flush is sent as one datagram.
class ManagedSysLogStreamBuf : public SysLogStreamBuf {
 public:
  static constexpr size_t kAreaSize = 16384;

  ManagedSysLogStreamBuf(int facility, int level) : SysLogStreamBuf(facility, level, kAreaSize) {}

 protected:
  void Log(const char* message) override;
  void Send() override;
};
