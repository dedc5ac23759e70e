#include "runtime/loop/Multiplexer.h"

#include "platform/Clock.h"
#include "platform/sim/Board.h"
#include "platform/sim/WatchdogDriver.h"
#include "runtime/loop/Dpc.h"
#include "runtime/loop/Event.h"
#include "tests/support/ControlLoop.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using control_test::FreezeAtMs;
using control_test::PassHook;

// An Event on a socket that is always writable, so poll never waits.
struct AlwaysReady {
  AlwaysReady() { event.Schedule(ends.local, POLLOUT); }
  control_test::SocketPair ends;
  Event event;
};

class Watchdog : public ::testing::Test {
 protected:
  void SetUp() override { ResetBoard(); }
  void TearDown() override { platform::clock_control::Release(); }

  void ResetBoard() {
    sim::Board::instance().Reset();
    driver_ = sim::Board::instance().Find<sim::WatchdogDriver>(sim::WatchdogDriver::kPath);
    ASSERT_NE(driver_, nullptr);
    logs_.Clear();
  }

  // "WORD@ms" per entry, times in loop-clock milliseconds.
  std::string Entries() const {
    std::string text;
    for (const auto& entry : driver_->Entries()) {
      text += entry.word + "@" + std::to_string(entry.time.tv_sec * 1000 + entry.time.tv_usec / 1000) + " ";
    }
    return text;
  }

  sim::WatchdogDriver* driver_ = nullptr;
  control_test::Logs logs_;
};

TEST_F(Watchdog, PingsAfterFirstPollThenEverySecondOrWhenClockGoesBack) {
  const struct {
    const char* name;
    std::vector<uint64_t> pass_times_ms;  // the clock at each pass's poll
    const char* entries;
  } kCases[] = {
      {"steady quarter seconds",
       {10250, 10500, 10750, 11000, 11250, 11500, 12000, 12250},
       "START@10000 PING@10250 PING@11250 PING@12250 STOP@12250 "},
      {"999 ms is not yet a second", {10000, 10999, 11000}, "START@10000 PING@10000 PING@11000 STOP@11000 "},
      {"clock went back", {10000, 10500, 9000, 9500, 10000}, "START@10000 PING@10000 PING@9000 PING@10000 STOP@10000 "},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    ResetBoard();
    FreezeAtMs(10000);
    AlwaysReady ready;
    PassHook hook([&c](int run) {
      if (run % 2 != 0) {
        return;
      }
      size_t pass = static_cast<size_t>(run / 2 - 1);
      FreezeAtMs(c.pass_times_ms[pass]);
      if (pass + 1 == c.pass_times_ms.size()) {
        multiplexer.terminate();
      }
    });
    multiplexer.run(true, true);
    EXPECT_EQ(Entries(), c.entries);
  }
  EXPECT_EQ(logs_.Err(), "");
}

TEST_F(Watchdog, DescriptorIsCloseOnExec) {
  // The descriptors a child program would inherit.
  const auto inheritable = [] {
    std::vector<int> fds;
    for (int fd = 3; fd < 1024; ++fd) {
      const int flags = fcntl(fd, F_GETFD);
      if (flags >= 0 && (flags & FD_CLOEXEC) == 0) {
        fds.push_back(fd);
      }
    }
    return fds;
  };
  FreezeAtMs(10000);
  const std::vector<int> before = inheritable();
  std::vector<int> while_running;
  PassHook hook([&](int run) {
    if (run == 2) {
      while_running = inheritable();
      multiplexer.terminate();
    }
  });
  multiplexer.run(true, true);
  EXPECT_EQ(while_running, before);
  EXPECT_EQ(Entries(), "START@10000 PING@10000 STOP@10000 ");
}

// The one case where the loop really waits: nothing but the watchdog to feed,
// which must not count as a hang and must not wait past a second.
TEST_F(Watchdog, NothingElseToDoWaitsOneSecondAndPings) {
  FreezeAtMs(10000);
  PassHook hook([](int run) {
    if (run % 2 == 0) {
      platform::clock_control::Advance(1000);
    }
    if (run == 4) {
      multiplexer.terminate();
    }
  });
  multiplexer.run(true, true);
  EXPECT_EQ(Entries(), "START@10000 PING@11000 PING@12000 STOP@12000 ");
}

}  // namespace
