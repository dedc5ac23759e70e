#include "runtime/log/SysLogStreamBuf.h"

#include "runtime/log/SysLogManager.h"

#include <syslog.h>

#include <cstring>

SysLogStreamBuf::SysLogStreamBuf(int facility, int level) : SysLogStreamBuf(facility, level, 1024) {}

SysLogStreamBuf::SysLogStreamBuf(int facility, int level, size_t area_size)
    : priority_(facility | level), area_size_(area_size), area_(new char[area_size]) {
  Empty();
}

int SysLogStreamBuf::sync() {
  char* begin = pbase();
  char* const end = pptr();
  *end = '\0';
  char* newline = static_cast<char*>(std::memchr(begin, '\n', end - begin));
  if (newline == nullptr) {
    if (end < epptr()) {
      return 0;
    }
    Log(begin);
    Send();
    Empty();
    return 0;
  }
  while (newline != nullptr) {
    *newline = '\0';
    Log(begin);
    begin = newline + 1;
    newline = static_cast<char*>(std::memchr(begin, '\n', end - begin));
  }
  if (begin < end) {
    Log(begin);
  }
  Send();
  Empty();
  return 0;
}

SysLogStreamBuf::int_type SysLogStreamBuf::overflow(int_type c) {
  sync();
  if (traits_type::eq_int_type(c, traits_type::eof())) {
    return traits_type::not_eof(c);
  }
  *pptr() = traits_type::to_char_type(c);
  pbump(1);
  return c;
}

void SysLogStreamBuf::Log(const char* message) {
  ::syslog(priority_, "%s", message);
}

void SysLogStreamBuf::Empty() {
  setp(area_.get(), area_.get() + area_size_ - 1);
}

void ManagedSysLogStreamBuf::Log(const char* message) {
  syslogManager().syslog(priority_, "%s", message);
}

void ManagedSysLogStreamBuf::Send() {
  syslogManager().sendmsg();
}
