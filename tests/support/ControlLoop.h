#pragma once

// Helpers of the runtime tests: a frozen loop clock, a loop that runs until a
// condition holds, captured log streams, a recording Notify, socket pairs and
// plain loopback peers.

#include "platform/Clock.h"
#include "runtime/loop/Dpc.h"
#include "runtime/loop/Event.h"
#include "runtime/loop/Multiplexer.h"
#include "runtime/transport/ControlService.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace control_test {

// The loop clock stands still unless the test moves it.
class FrozenClock {
 public:
  FrozenClock() { platform::clock_control::Freeze(timeval{1000000, 0}); }
  ~FrozenClock() { platform::clock_control::Release(); }
  void Advance(uint64_t ms) { platform::clock_control::Advance(ms); }
};

// Sets the frozen loop clock to ms milliseconds after the epoch.
inline void FreezeAtMs(uint64_t ms) {
  platform::clock_control::Freeze(timeval{static_cast<time_t>(ms / 1000), static_cast<suseconds_t>(ms % 1000 * 1000)});
}

// A deferred call that runs hook with its run number; run 2n is the second
// run of pass n, just before that pass polls.
class PassHook {
 public:
  explicit PassHook(std::function<void(int run)> hook = nullptr) : hook_(std::move(hook)) {
    dpc_.Bind(this, &PassHook::OnRun);
    dpc_.Activate();
  }
  void OnRun() {
    ++runs_;
    if (hook_) {
      hook_(runs_);
    }
  }
  int runs() const { return runs_; }

 private:
  Dpc dpc_;
  int runs_ = 0;
  std::function<void(int)> hook_;
};

inline std::string Joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) {
    text += name + ' ';
  }
  return text;
}

// A connected pair of local stream sockets: the code under test gets local.
struct SocketPair {
  explicit SocketPair(int flags = 0) {
    int fds[2];
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | flags, 0, fds), 0);
    local = Fd(fds[0]);
    peer = Fd(fds[1]);
  }
  Fd local;
  Fd peer;
};

// Runs loop passes until done() holds, at most max_passes. The condition is
// checked by a deferred call (after the timers) and by a descriptor served
// after those already registered; being always readable, it also keeps poll
// from waiting, so nothing here sleeps.
inline bool RunUntil(const std::function<bool()>& done, int max_passes = 200) {
  struct Stopper {
    void OnPass() {
      if (done() || ++passes >= max_passes) {
        multiplexer.terminate();
      }
    }
    void OnEvent(int, short) {
      if (done()) {
        multiplexer.terminate();
      }
    }
    std::function<bool()> done;
    int max_passes;
    int passes = 0;
  } stopper{done, max_passes};
  SocketPair ready;
  EXPECT_EQ(write(ready.peer.get(), "x", 1), 1);
  Event always;
  always.Bind("always", &Stopper::OnEvent, &stopper);
  always.Schedule(ready.local, POLLIN);
  Dpc dpc;
  dpc.Bind(&stopper, &Stopper::OnPass);
  dpc.Activate();
  multiplexer.run(false, true);
  return done();
}

// Runs loop passes until done() holds, for at most five seconds of real time:
// for what moves at its own pace (sockets of other processes, child programs).
// done() is asked once per few passes and may take what it looks at.
inline bool RunWithin(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (std::chrono::steady_clock::now() < deadline) {
    if (done()) {
      return true;
    }
    RunUntil([] { return false; }, 5);
  }
  return false;
}

// A few passes, for "nothing happens" checks.
inline void RunPasses(int passes) {
  RunUntil([] { return false; }, passes);
}

// The three log streams, captured for the life of the object.
class Logs {
 public:
  Logs()
      : saved_out_(std::cout.rdbuf(out_.rdbuf())),
        saved_err_(std::cerr.rdbuf(err_.rdbuf())),
        saved_log_(std::clog.rdbuf(log_.rdbuf())) {}
  ~Logs() {
    std::cout.rdbuf(saved_out_);
    std::cerr.rdbuf(saved_err_);
    std::clog.rdbuf(saved_log_);
  }
  std::string Out() const { return out_.str(); }
  std::string Err() const { return err_.str(); }
  std::string Log() const { return log_.str(); }
  void Clear() {
    out_.str("");
    err_.str("");
    log_.str("");
  }
  // Occurrences of text on the error stream.
  int CountErr(const std::string& text) const {
    int count = 0;
    const std::string all = Err();
    for (size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + 1)) {
      ++count;
    }
    return count;
  }

 private:
  std::ostringstream out_, err_, log_;
  std::streambuf* saved_out_;
  std::streambuf* saved_err_;
  std::streambuf* saved_log_;
};

// Records the callbacks in order: "connect", "disconnect", "message:<bytes>".
class Recorder : public Control::Notify {
 public:
  void OnConnect() override { calls.push_back("connect"); }
  void OnDisconnect() override { calls.push_back("disconnect"); }
  void OnMessage(const char* data, int len) override { calls.push_back("message:" + std::string(data, len)); }
  std::string Calls() const {
    std::string text;
    for (const std::string& call : calls) {
      text += call + ';';
    }
    return text;
  }
  std::vector<std::string> calls;
};

// Writes into a non-blocking fd until it would block; returns what was written.
inline size_t Fill(const Fd& fd) {
  const std::string junk(4096, 'J');
  size_t total = 0;
  ssize_t n;
  while ((n = send(fd.get(), junk.data(), junk.size(), MSG_DONTWAIT)) > 0) {
    total += static_cast<size_t>(n);
  }
  return total;
}

// Lowers the descriptor limit for its lifetime so that only spare more
// descriptors can be opened.
class DescriptorLimit {
 public:
  explicit DescriptorLimit(int spare) {
    EXPECT_EQ(getrlimit(RLIMIT_NOFILE, &saved_), 0);
    const int lowest_free = dup(0);
    close(lowest_free);
    rlimit low = saved_;
    low.rlim_cur = static_cast<rlim_t>(lowest_free + spare);
    EXPECT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
  }
  ~DescriptorLimit() { EXPECT_EQ(setrlimit(RLIMIT_NOFILE, &saved_), 0); }

 private:
  rlimit saved_{};
};

inline uint16_t LocalPort(int fd) {
  sockaddr_in address{};
  socklen_t len = sizeof address;
  EXPECT_EQ(getsockname(fd, reinterpret_cast<sockaddr*>(&address), &len), 0);
  return ntohs(address.sin_port);
}

// A TCP socket bound to a free loopback port, listening or not.
inline Fd BoundSocket(bool listening) {
  Fd fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  EXPECT_EQ(bind(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  if (listening) {
    EXPECT_EQ(listen(fd.get(), 4), 0);
  }
  return fd;
}

// A blocking client connected to the loopback port; the listener's backlog
// completes the handshake before anyone accepts.
inline Fd Connect(uint16_t port) {
  Fd fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  EXPECT_EQ(connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  return fd;
}

// What the peer can read now without waiting; "EOF" when the stream ended.
inline std::string ReadNow(const Fd& fd) {
  char buffer[512];
  const ssize_t n = recv(fd.get(), buffer, sizeof buffer, MSG_DONTWAIT);
  if (n == 0) {
    return "EOF";
  }
  return n < 0 ? std::string() : std::string(buffer, static_cast<size_t>(n));
}

// A loopback TCP connection: the connecting end and the accepted one.
struct TcpPair {
  TcpPair() {
    Fd listener = BoundSocket(true);
    client = Connect(LocalPort(listener.get()));
    server = Fd(accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
  }
  Fd client;
  Fd server;
};

// Ends a TCP connection with a reset instead of an orderly close.
inline void CloseWithReset(Fd& fd) {
  const linger abort{1, 0};
  EXPECT_EQ(setsockopt(fd.get(), SOL_SOCKET, SO_LINGER, &abort, sizeof abort), 0);
  fd.close();
}

inline std::string Frame(const std::string& payload) {
  const size_t length = payload.size() + 4;
  return std::string{'\x03', '\x00', static_cast<char>(length >> 8), static_cast<char>(length & 0xFF)} + payload;
}

}  // namespace control_test
