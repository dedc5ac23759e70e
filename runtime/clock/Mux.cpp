#include "runtime/clock/Mux.h"

#include "platform/Clock.h"

#include <sys/time.h>
#include <time.h>

#include <cstdio>

namespace Mux {

timeval g_tv_time = {0, 0};

namespace {

constexpr int32_t kMicrosPerSecond = 1000000;

timeval ReadPlatformClock() {
  ::timeval system_time{};
  platform::GetTimeOfDay(&system_time);
  return timeval{static_cast<int32_t>(system_time.tv_sec), static_cast<int32_t>(system_time.tv_usec)};
}

int64_t TotalMicroseconds() {
  timeval now;
  gettimeval(now);
  return int64_t{now.tv_sec} * kMicrosPerSecond + now.tv_usec;
}

void Normalise(timeval& tv) {
  while (tv.tv_usec >= kMicrosPerSecond) {
    tv.tv_usec -= kMicrosPerSecond;
    ++tv.tv_sec;
  }
  while (tv.tv_usec < 0) {
    tv.tv_usec += kMicrosPerSecond;
    --tv.tv_sec;
  }
}

fd_set* SetOrNull(Set& set) {
  return set.max < 0 ? nullptr : &set.set;
}

int SelectOver(Set* rd, Set* wr, Set* ex, timeval* timeout) {
  int highest = -1;
  for (const Set* s : {rd, wr, ex}) {
    if (s != nullptr && s->max > highest) {
      highest = s->max;
    }
  }
  ::timeval system_timeout{};
  if (timeout != nullptr) {
    system_timeout.tv_sec = timeout->tv_sec;
    system_timeout.tv_usec = timeout->tv_usec;
  }
  return ::select(highest + 1, rd == nullptr ? nullptr : SetOrNull(*rd), wr == nullptr ? nullptr : SetOrNull(*wr),
                  ex == nullptr ? nullptr : SetOrNull(*ex), timeout == nullptr ? nullptr : &system_timeout);
}

}  // namespace

void mux_settimeofday() {
  g_tv_time = ReadPlatformClock();
}

void mux_gettimeofday(timeval& tv) {
  gettimeval(tv);
}

void gettimeval(timeval& tv) {
  if (g_tv_time.tv_sec == 0 && g_tv_time.tv_usec == 0) {
    tv = ReadPlatformClock();
    return;
  }
  tv = g_tv_time;
}

uint32_t milliseconds() {
  return static_cast<uint32_t>(TotalMicroseconds() / 1000);
}

uint32_t microseconds() {
  return static_cast<uint32_t>(TotalMicroseconds());
}

int32_t seconds() {
  timeval now;
  gettimeval(now);
  return now.tv_sec;
}

void timevaladd(timeval& a, const timeval& b) {
  a.tv_sec += b.tv_sec;
  a.tv_usec += b.tv_usec;
  Normalise(a);
}

void timevalsub(timeval& a, const timeval& b) {
  a.tv_sec -= b.tv_sec;
  a.tv_usec -= b.tv_usec;
  Normalise(a);
}

void timevaladd2(const timeval& a, const timeval& b, timeval& out) {
  out = a;
  timevaladd(out, b);
}

void timevalsub2(const timeval& a, const timeval& b, timeval& out) {
  out = a;
  timevalsub(out, b);
}

void timevalset(timeval& tv, uint64_t ms) {
  tv.tv_sec = static_cast<int32_t>(ms / 1000);
  tv.tv_usec = static_cast<int32_t>(ms % 1000 * 1000);
}

timeval make_from_msec(uint32_t ms) {
  timeval tv;
  timevalset(tv, ms);
  return tv;
}

timeval make_from_usec(uint32_t us) {
  return timeval{static_cast<int32_t>(us / kMicrosPerSecond), static_cast<int32_t>(us % kMicrosPerSecond)};
}

int64_t timevaldiff(const timeval& a, const timeval& b) {
  if (timevalcompare(b, a) < 0) {
    return 0;
  }
  return (int64_t{b.tv_sec} - a.tv_sec) * 1000 + (int64_t{b.tv_usec} - a.tv_usec) / 1000;
}

int timevalcompare(const timeval& a, const timeval& b) {
  if (a.tv_sec != b.tv_sec) {
    return a.tv_sec < b.tv_sec ? -1 : 1;
  }
  if (a.tv_usec != b.tv_usec) {
    return a.tv_usec < b.tv_usec ? -1 : 1;
  }
  return 0;
}

std::string timevaltostring(const timeval& tv) {
  time_t seconds_value = tv.tv_sec;
  struct tm local {};
  if (localtime_r(&seconds_value, &local) == nullptr) {
    return std::string();
  }
  char text[64];
  size_t length = strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  std::snprintf(text + length, sizeof text - length, ".%06ld", static_cast<long>(tv.tv_usec));
  return text;
}

void timeval_timer::init(const timeval& tv, int period_ms) {
  start = tv;
  period = period_ms;
}

void timeval_timer::init_now(const timeval& tv) {
  start = tv;
}

bool timeval_timer::is_expired(const timeval& now) const {
  if (period < 1) {
    return false;
  }
  return timevaldiff(start, now) > period;
}

void timeval_timer::inc() {
  timeval step;
  timevalset(step, static_cast<uint64_t>(period));
  timevaladd(start, step);
}

Set::Set() {
  zero();
}

void Set::zero() {
  FD_ZERO(&set);
  max = -1;
}

bool Set::add(int fd) {
  if (fd < 0 || fd >= FD_SETSIZE) {
    return false;
  }
  FD_SET(fd, &set);
  if (fd > max) {
    max = fd;
  }
  return true;
}

bool Set::isset(int fd) const {
  return max >= 0 && fd >= 0 && fd < FD_SETSIZE && FD_ISSET(fd, &set);
}

int max_fd(const Set& a, const Set& b) {
  return a.max > b.max ? a.max : b.max;
}

int max_fd(const Set& a, const Set& b, const Set& c) {
  int ab = max_fd(a, b);
  return ab > c.max ? ab : c.max;
}

int select(Set& rd, Set& wr, Set& ex, timeval* timeout) {
  return SelectOver(&rd, &wr, &ex, timeout);
}

int select(Set& rd, Set& wr) {
  return SelectOver(&rd, &wr, nullptr, nullptr);
}

int select(Set& rd) {
  return SelectOver(&rd, nullptr, nullptr, nullptr);
}

int select_rd(Set& set, timeval* timeout) {
  return SelectOver(&set, nullptr, nullptr, timeout);
}

int select_wr(Set& set, timeval* timeout) {
  return SelectOver(nullptr, &set, nullptr, timeout);
}

}  // namespace Mux
