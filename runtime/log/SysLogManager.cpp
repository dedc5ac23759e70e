#include "runtime/log/SysLogManager.h"

#include "platform/BoardPath.h"
#include "runtime/clock/Mux.h"

#include <fcntl.h>
#include <syslog.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

// Appends printf output at *pos, keeping one byte of the line for its NUL.
void AppendFormat(char* line, size_t* pos, const char* format, va_list args) {
  const size_t room = SysLogManager::kLineSize - *pos;
  const int written = vsnprintf(line + *pos, room, format, args);
  if (written > 0) {
    *pos += std::min(static_cast<size_t>(written), room - 1);
  }
}

void Append(char* line, size_t* pos, const char* format, ...) __attribute__((format(printf, 3, 4)));
void Append(char* line, size_t* pos, const char* format, ...) {
  va_list args;
  va_start(args, format);
  AppendFormat(line, pos, format, args);
  va_end(args);
}

void WriteAll(int fd, const iovec* parts, int count) {
  ssize_t result;
  do {
    result = writev(fd, parts, count);
  } while (result < 0 && errno == EINTR);
}

}  // namespace

SysLogManager::~SysLogManager() {
  Close();
}

SysLogManager& syslogManager() {
  static SysLogManager* const manager = new SysLogManager;
  return *manager;
}

void SysLogManager::openlog(const char* ident, int options, int facility) {
  Open(ident, options, facility);
}

void SysLogManager::closelog() {
  Close();
  ident_ = "syslog-kl";
  type_ = SOCK_DGRAM;
  used_ = 0;
  line_count_ = 0;
  backlog_.clear();
  backlog_bytes_ = 0;
  dropped_ = 0;
}

void SysLogManager::syslog(int priority, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const size_t length = FormatLine(priority, format, args);
  va_end(args);

  if (options_ & LOG_PERROR) {
    const bool ends_line = length > stamp_end_ && line_[length - 1] == '\n';
    iovec parts[] = {{line_ + stamp_end_, length - stamp_end_}, {const_cast<char*>("\n"), ends_line ? 0u : 1u}};
    WriteAll(STDERR_FILENO, parts, 2);
  }
  if (fd_ == -1) {
    Open(nullptr, options_ | LOG_NDELAY, 0);
  }
  // The line goes into the batch with its NUL, the separator the log daemon expects.
  if (fd_ != -1 && sendmsg_internal(line_, length + 1) >= 0) {
    return;
  }
  Close();
  Open(nullptr, options_ | LOG_NDELAY, 0);
  if (fd_ != -1 && sendmsg_internal(line_, length + 1) >= 0) {
    return;
  }
  Close();
  if (options_ & LOG_CONS) {
    WriteToConsole(line_ + stamp_end_, length - stamp_end_);
  }
}

int SysLogManager::sendmsg() {
  int result = 0;
  if (line_count_ > 0 && fd_ != -1) {
    result = Deliver();
  }
  used_ = 0;
  line_count_ = 0;
  if (result >= 0) {
    ReportDropped();
  }
  return result;
}

int SysLogManager::Deliver() {
  // The backlog goes first, so lines keep their order.
  int result = FlushBacklog() ? SendBatch() : -1;
  if (result < 0 && errno != EAGAIN) {
    // The log daemon may have restarted: its socket is then a new one.
    Close();
    Open(nullptr, options_ | LOG_NDELAY, 0);
    if (fd_ == -1) {
      return result;
    }
    result = FlushBacklog() ? SendBatch() : -1;
  }
  if (result < 0 && errno == EAGAIN) {
    Hold(0);
    return 0;
  }
  // Half a batch on a stream: the rest follows once there is room.
  if (result >= 0 && static_cast<size_t>(result) < used_) {
    Hold(static_cast<size_t>(result));
  }
  return result;
}

void SysLogManager::Open(const char* ident, int options, int facility) {
  if (ident != nullptr) {
    ident_ = ident;
  }
  options_ = options;
  if (facility != 0 && (facility & ~LOG_FACMASK) == 0) {
    default_facility_ = facility;
  }
  if (fd_ != -1 || !(options_ & LOG_NDELAY)) {
    return;
  }
  // A log daemon that listens on a stream socket refuses a datagram connect with
  // EPROTOTYPE; the other type is tried once.
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (Connect()) {
      return;
    }
    if (errno != EPROTOTYPE) {
      return;
    }
    type_ = type_ == SOCK_DGRAM ? SOCK_STREAM : SOCK_DGRAM;
  }
}

bool SysLogManager::Connect() {
  const std::string path = platform::BoardPath("/dev/log");
  if (path.size() >= sizeof(address_.sun_path)) {
    errno = ENAMETOOLONG;
    return false;
  }
  address_ = sockaddr_un{};
  address_.sun_family = AF_UNIX;
  std::memcpy(address_.sun_path, path.c_str(), path.size() + 1);

  // Non-blocking while connecting: a log daemon with a full listen queue must not stall the loop.
  fd_ = socket(AF_UNIX, type_ | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd_ == -1) {
    return false;
  }
  if (connect(fd_, reinterpret_cast<const sockaddr*>(&address_), sizeof(address_)) == 0) {
    // Daemon mode puts the socket on descriptors 1 and 2, which child programs
    // inherit and expect blocking: the client's own sends ask not to block each time.
    const int flags = fcntl(fd_, F_GETFL);
    if (flags != -1) {
      (void)fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK);
    }
    return true;
  }
  const int error = errno;
  Close();
  errno = error;
  return false;
}

void SysLogManager::Close() {
  Unwatch();
  if (fd_ != -1) {
    ::close(fd_);
    fd_ = -1;
  }
}

size_t SysLogManager::FormatLine(int priority, const char* format, va_list args) {
  if ((priority & LOG_FACMASK) == 0) {
    priority |= default_facility_;
  }
  size_t pos = 0;
  Append(line_, &pos, "<%d>", priority);

  const time_t now = Mux::seconds();
  tm local{};
  localtime_r(&now, &local);
  pos += strftime(line_ + pos, kLineSize - pos, "%h %e %T ", &local);
  stamp_end_ = pos;

  if (!ident_.empty()) {
    Append(line_, &pos, "%s", ident_.c_str());
  }
  if (options_ & LOG_PID) {
    Append(line_, &pos, "[%d]", static_cast<int>(getpid()));
  }
  if (!ident_.empty()) {
    Append(line_, &pos, ": ");
  }
  AppendFormat(line_, &pos, format, args);
  return pos;
}

int SysLogManager::sendmsg_internal(const char* data, size_t length) {
  assert(length > 0 && length <= kLineSize && "a line is cut to the line buffer");
  assert(used_ + length < kBatchSize && line_count_ < kMaxLines && "a full batch is sent before the next line");
  std::memcpy(batch_ + used_, data, length);
  lines_[line_count_] = iovec{batch_ + used_, length};
  used_ += length;
  ++line_count_;
  if (line_count_ == kMaxLines || used_ >= kSendThreshold) {
    return sendmsg();
  }
  return 0;
}

int SysLogManager::SendBatch() {
  // The socket is connected: a stream socket refuses a send that names an address.
  msghdr message{};
  message.msg_iov = lines_;
  message.msg_iovlen = line_count_;
  ssize_t sent;
  do {
    sent = ::sendmsg(fd_, &message, MSG_NOSIGNAL | MSG_DONTWAIT);
  } while (sent < 0 && errno == EINTR);
  return static_cast<int>(sent);
}

bool SysLogManager::FlushBacklog() {
  while (!backlog_.empty()) {
    Datagram& head = backlog_.front();
    ssize_t sent;
    do {
      sent = ::send(fd_, head.bytes.data(), head.bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    } while (sent < 0 && errno == EINTR);
    if (sent < 0) {
      return false;
    }
    backlog_bytes_ -= static_cast<size_t>(sent);
    if (static_cast<size_t>(sent) < head.bytes.size()) {
      head.bytes.erase(0, static_cast<size_t>(sent));
      errno = EAGAIN;
      return false;
    }
    backlog_.pop_front();
  }
  Unwatch();
  return true;
}

void SysLogManager::Hold(size_t sent) {
  const size_t length = used_ - sent;
  if (backlog_bytes_ + length > kBacklogSize) {
    dropped_ += line_count_;
    return;
  }
  // Batches of short lines share a datagram, so the daemon's queue holds more lines.
  if (backlog_.empty() || backlog_.back().lines + line_count_ > kMaxLines ||
      backlog_.back().bytes.size() + length > kBatchSize) {
    backlog_.push_back(Datagram{std::string(), 0});
  }
  backlog_.back().bytes.append(batch_ + sent, length);
  backlog_.back().lines += line_count_;
  backlog_bytes_ += length;
  Watch();
}

void SysLogManager::ReportDropped() {
  if (dropped_ == 0 || !backlog_.empty()) {
    return;
  }
  const size_t dropped = dropped_;
  dropped_ = 0;
  syslog(LOG_DAEMON | LOG_WARNING, "syslog: %zu lines lost while the log socket was full", dropped);
  sendmsg();
}

void SysLogManager::SetRoomWatch(RoomWatch* watch) {
  Unwatch();
  watch_ = watch;
  if (!backlog_.empty()) {
    Watch();
  }
}

void SysLogManager::Watch() {
  if (watch_ != nullptr && !watching_ && fd_ != -1) {
    watch_->Watch(fd_);
    watching_ = true;
  }
}

void SysLogManager::Unwatch() {
  if (watching_) {
    watch_->Cancel();
    watching_ = false;
  }
}

void SysLogManager::OnRoom() {
  if (!FlushBacklog()) {
    if (errno == EAGAIN) {
      return;
    }
    // The log daemon went away; the backlog waits for the next connection.
    Close();
    return;
  }
  ReportDropped();
}

void SysLogManager::WriteToConsole(const char* text, size_t length) {
  const int console = open(platform::BoardPath("/dev/console").c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
  if (console == -1) {
    return;
  }
  iovec parts[] = {{const_cast<char*>(text), length}, {const_cast<char*>("\r\n"), 2}};
  WriteAll(console, parts, 2);
  ::close(console);
}
