#include "runtime/log/LogFileStreamBuf.h"

#include "platform/Clock.h"

#include <fcntl.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

tm LocalTime(const timeval& tv) {
  const time_t seconds = tv.tv_sec;
  tm local{};
  localtime_r(&seconds, &local);
  return local;
}

}  // namespace

LogFileStreamBuf::LogFileStreamBuf(const std::string& directory) : directory_(directory) {
  timeval tv{};
  platform::GetTimeOfDay(&tv);
  OpenFile(LocalTime(tv));
  setp(area_, area_ + sizeof(area_));
}

LogFileStreamBuf::~LogFileStreamBuf() {
  sync();
  CloseFile();
}

int LogFileStreamBuf::sync() {
  const char* begin = pbase();
  const char* const end = pptr();
  setp(area_, area_ + sizeof(area_));
  if (line_open_) {
    const char* newline = static_cast<const char*>(std::memchr(begin, '\n', end - begin));
    if (newline == nullptr) {
      Write(begin, end);
      return WritePending();
    }
    Write(begin, newline + 1);
    begin = newline + 1;
    line_open_ = false;
  }

  timeval tv{};
  platform::GetTimeOfDay(&tv);
  const tm now = LocalTime(tv);
  if (now.tm_hour != hour_ || now.tm_yday != day_ || now.tm_year != year_) {
    // The continuation of a line belongs to the file that holds its start.
    (void)WritePending();
    CloseFile();
    OpenFile(now);
  }
  char prefix[32];
  const int prefix_length =
      snprintf(prefix, sizeof(prefix), "%02d:%02d:%05ld: ", now.tm_min, now.tm_sec, static_cast<long>(tv.tv_usec));
  while (begin < end) {
    const char* newline = static_cast<const char*>(std::memchr(begin, '\n', end - begin));
    const char* line_end = newline == nullptr ? end : newline + 1;
    Write(prefix, prefix + prefix_length);
    Write(begin, line_end);
    line_open_ = newline == nullptr;
    begin = line_end;
  }
  return WritePending();
}

LogFileStreamBuf::int_type LogFileStreamBuf::overflow(int_type c) {
  sync();
  if (traits_type::eq_int_type(c, traits_type::eof())) {
    return traits_type::not_eof(c);
  }
  *pptr() = traits_type::to_char_type(c);
  pbump(1);
  return c;
}

void LogFileStreamBuf::OpenFile(const tm& now) {
  char name[32];
  strftime(name, sizeof(name), "%Y_%m_%d-%H", &now);
  // Appending keeps what an earlier run wrote in the same hour, such as the lines
  // before a crash and restart.
  const std::string path = directory_ + "/" + name + ".log";
  fd_ = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  hour_ = now.tm_hour;
  day_ = now.tm_yday;
  year_ = now.tm_year;
}

void LogFileStreamBuf::CloseFile() {
  if (fd_ != -1) {
    close(fd_);
    fd_ = -1;
  }
}

void LogFileStreamBuf::Write(const char* begin, const char* end) {
  pending_.append(begin, end);
}

int LogFileStreamBuf::WritePending() {
  size_t written = 0;
  while (fd_ != -1 && written < pending_.size()) {
    const ssize_t result = write(fd_, pending_.data() + written, pending_.size() - written);
    if (result < 0 && errno == EINTR) {
      continue;
    }
    if (result <= 0) {
      break;
    }
    written += static_cast<size_t>(result);
  }
  const bool complete = written == pending_.size();
  pending_.clear();
  return complete ? 0 : -1;
}
