#pragma once

#include <sys/socket.h>
#include <sys/uio.h>
#include <sys/un.h>

#include <cstdarg>
#include <cstddef>
#include <deque>
#include <string>

// The server's own client of the system log. It speaks the syslog datagram
// format to "/dev/log" like the C library does, but queues the lines of one
// flush and sends them in one datagram: a burst of log lines then costs one
// system call instead of one per line, and nothing is allocated per line.
// The socket never blocks: while the log daemon's queue is full, datagrams wait
// in a bounded backlog, sent before the next batch or once the event loop sees
// room on the socket; only lines that overflow it are lost, and their number
// is logged once afterwards.
class SysLogManager {
 public:
  // The event loop's side: polls the socket for room while the backlog holds anything.
  class RoomWatch {
   public:
    virtual ~RoomWatch() = default;
    // Calls OnRoom() whenever a poll of fd returns events, until Cancel().
    virtual void Watch(int fd) = 0;
    virtual void Cancel() = 0;
  };

  // A line, its terminating NUL included, never exceeds this; longer messages are cut.
  static constexpr size_t kLineSize = 1024;
  static constexpr size_t kBatchSize = 16384;
  static constexpr size_t kMaxLines = 256;
  // A batch goes out as soon as it holds this many bytes.
  static constexpr size_t kSendThreshold = 12289;
  // Bytes the backlog holds at most.
  static constexpr size_t kBacklogSize = 16 * kBatchSize;

  SysLogManager() = default;
  SysLogManager(const SysLogManager&) = delete;
  SysLogManager& operator=(const SysLogManager&) = delete;
  ~SysLogManager();

  // As the C library's: a null ident keeps the current one; a facility of 0 keeps
  // the default. With LOG_NDELAY the socket connects at once.
  void openlog(const char* ident, int options, int facility);
  void closelog();
  // Queues one line; it is sent with the batch (see sendmsg) or once the batch is full.
  void syslog(int priority, const char* format, ...) __attribute__((format(printf, 3, 4)));
  // Sends the queued lines in one datagram and empties the batch. A full socket
  // keeps the batch in the backlog; another failed send reconnects and tries
  // once more, then drops the batch. The send result, or 0.
  int sendmsg();

  // The connected socket, -1 when there is none.
  int GetDescriptor() const { return fd_; }

  // The watch must live as long as the client.
  void SetRoomWatch(RoomWatch* watch);
  // The socket polled ready (or failed): sends the backlog.
  void OnRoom();

 private:
  void Open(const char* ident, int options, int facility);
  bool Connect();
  void Close();
  size_t FormatLine(int priority, const char* format, va_list args);
  int sendmsg_internal(const char* data, size_t length);
  int Deliver();
  int SendBatch();
  // Sends the backlog; false (errno set) while some of it is left.
  bool FlushBacklog();
  // Keeps the batch from byte `sent` on in the backlog, or counts its lines as dropped.
  void Hold(size_t sent);
  void ReportDropped();
  void WriteToConsole(const char* text, size_t length);
  void Watch();
  void Unwatch();

  int type_ = SOCK_DGRAM;
  int fd_ = -1;
  int options_ = 0;
  std::string ident_ = "syslog-kl";
  int default_facility_ = 8;  // LOG_USER
  sockaddr_un address_{};

  char line_[kLineSize] = {};
  // Where the ident of the current line starts, after the priority and the time.
  size_t stamp_end_ = 0;

  char batch_[kBatchSize] = {};
  size_t used_ = 0;
  iovec lines_[kMaxLines] = {};
  size_t line_count_ = 0;

  struct Datagram {
    std::string bytes;
    size_t lines;
  };
  std::deque<Datagram> backlog_;
  size_t backlog_bytes_ = 0;
  // Lines lost since the last report.
  size_t dropped_ = 0;
  RoomWatch* watch_ = nullptr;
  bool watching_ = false;
};

// The process-wide client. Built at its first use and never destroyed, rather
// than a global object: a static initialiser in another file may log before a
// global would be built, and the stream buffers log after it would be gone.
SysLogManager& syslogManager();
