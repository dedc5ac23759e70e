#pragma once

#include <sys/select.h>

#include <cstdint>
#include <string>

// The loop clock, time arithmetic and select helpers of the event loop.
namespace Mux {

// The loop's own time value: 32-bit fields whatever the host's timeval holds,
// filled field by field from the platform clock.
struct timeval {
  int32_t tv_sec;
  int32_t tv_usec;
};

// Cached loop time; zero means "read the platform clock on every call". Only a
// loop that runs without live time stores it.
extern timeval g_tv_time;

void mux_settimeofday();
void mux_gettimeofday(timeval& tv);
void gettimeval(timeval& tv);

// Milliseconds on a 32-bit clock that wraps after about 49.7 days: compare two
// readings by signed difference, never with a plain "<".
uint32_t milliseconds();
// Microseconds on a 32-bit clock that wraps after about 71.6 minutes.
uint32_t microseconds();
int32_t seconds();

// Arithmetic keeps microseconds in 0..999,999.
void timevaladd(timeval& a, const timeval& b);
void timevalsub(timeval& a, const timeval& b);
void timevaladd2(const timeval& a, const timeval& b, timeval& out);
void timevalsub2(const timeval& a, const timeval& b, timeval& out);
void timevalset(timeval& tv, uint64_t ms);
timeval make_from_msec(uint32_t ms);
timeval make_from_usec(uint32_t us);
// b - a in milliseconds, rounded towards zero; 0 when b is earlier than a.
int64_t timevaldiff(const timeval& a, const timeval& b);
int timevalcompare(const timeval& a, const timeval& b);
// Local time as "2024-05-01 12:00:00.000042".
std::string timevaltostring(const timeval& tv);

// A period that expires once more than `period` ms have passed since `start`.
struct timeval_timer {
  timeval start;
  int period;

  void init(const timeval& tv, int period_ms);
  void init_now(const timeval& tv);
  bool is_expired(const timeval& now) const;
  void inc();
};

// A descriptor set and its highest descriptor (-1 while the set is unused).
struct Set {
  fd_set set;
  int max;

  Set();
  void zero();
  // False for a descriptor an fd_set cannot hold (FD_SETSIZE and above),
  // which is left out rather than written past the set.
  [[nodiscard]] bool add(int fd);
  bool isset(int fd) const;
};

int max_fd(const Set& a, const Set& b);
int max_fd(const Set& a, const Set& b, const Set& c);
// select() over the used sets only; an unused set is passed as null.
int select(Set& rd, Set& wr, Set& ex, timeval* timeout = nullptr);
int select(Set& rd, Set& wr);
int select(Set& rd);
int select_rd(Set& set, timeval* timeout);
int select_wr(Set& set, timeval* timeout);

}  // namespace Mux
