#include "runtime/transport/TPKTTracer.h"

#include "tests/support/ControlLoop.h"
#include "tests/support/FreePort.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <functional>
#include <string>
#include <vector>

namespace {

// Errors the next calls of sendmsg in this binary fail with before the real one runs again.
int g_sendmsg_error = 0;
int g_sendmsg_failures = 0;

}  // namespace

extern "C" ssize_t sendmsg(int fd, const msghdr* message, int flags) {
  if (g_sendmsg_failures > 0) {
    --g_sendmsg_failures;
    errno = g_sendmsg_error;
    return -1;
  }
  using Real = ssize_t (*)(int, const msghdr*, int);
  static const Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "sendmsg"));
  return real(fd, message, flags);
}

namespace {

using control_test::Frame;
using control_test::ReadNow;
using control_test::RunUntil;

// A tracer on a free port that records every frame and runs on_message inside the handler call.
class Tracer : public TPKTTracer::Handler {
 public:
  Tracer() : port_(test_support::FreePort()) {
    tracer.SetHandler(this);
    EXPECT_TRUE(tracer.Listen(port_));
  }
  void OnMessage(const uint8_t* data, unsigned len) override {
    messages.emplace_back(reinterpret_cast<const char*>(data), len);
    if (on_message) {
      on_message();
    }
  }
  // A client the tracer has accepted.
  Fd Connect() {
    Fd client = control_test::Connect(port_);
    const size_t accepted = ++clients_;
    EXPECT_TRUE(RunUntil([&] { return Count(logs.Log(), "ACP connection open from 127.0.0.1:") == accepted; }));
    return client;
  }
  void Send(const std::string& text) { tracer.Send(text.data(), static_cast<unsigned>(text.size())); }
  uint16_t port() const { return port_; }
  static size_t Count(const std::string& all, const std::string& text) {
    size_t count = 0;
    for (size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + 1)) {
      ++count;
    }
    return count;
  }

  control_test::Logs logs;
  TPKTTracer tracer;
  std::vector<std::string> messages;
  std::function<void()> on_message;

 private:
  uint16_t port_;
  size_t clients_ = 0;
};

// The tracer closed the connection (an orderly end or a reset).
bool Closed(const Fd& client) {
  char byte;
  const ssize_t n = recv(client.get(), &byte, 1, MSG_DONTWAIT | MSG_PEEK);
  return n == 0 || (n < 0 && errno != EAGAIN);
}

void Write(const Fd& client, const std::string& bytes) {
  EXPECT_EQ(send(client.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
}

TEST(TPKTTracer, DeliversFramesAndClosesOnBadHeaders) {
  const std::string big(512, 'x');
  const struct {
    const char* name;
    std::string bytes;
    std::vector<std::string> messages;
    const char* closed_because;
  } kCases[] = {
      {"an empty frame is skipped", std::string("\3\0\0\4", 4), {"ok"}, nullptr},
      {"two frames in one write", Frame("a") + Frame("b"), {"a", "b", "ok"}, nullptr},
      {"a payload of 512 fills the buffer", Frame(big), {big, "ok"}, nullptr},
      {"a payload of 513 is over the buffer", Frame(big + "y"), {}, "frame of 517 bytes is over the buffer"},
      {"bad version", std::string("\4\0\0\6ab", 6), {}, "bad TPKT header"},
      {"bad reserved byte", std::string("\3\1\0\6ab", 6), {}, "bad TPKT header"},
      {"length below the header", std::string("\3\0\0\3", 4), {}, "bad TPKT header"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    Tracer tracer;
    Fd client = tracer.Connect();
    Write(client, c.bytes + Frame("ok"));
    if (c.closed_because == nullptr) {
      EXPECT_TRUE(RunUntil([&] { return tracer.messages.size() == c.messages.size(); }));
      EXPECT_FALSE(Closed(client));
    } else {
      EXPECT_TRUE(RunUntil([&] { return Closed(client); }));
      EXPECT_EQ(tracer.logs.Err(), "TPKTTracer: connection closed: " + std::string(c.closed_because) + ".\n");
    }
    EXPECT_EQ(tracer.messages, c.messages);
  }
}

TEST(TPKTTracer, KeepsClientSocketsFromChildPrograms) {
  Tracer tracer;
  Fd client = tracer.Connect();
  int accepted = 0;
  for (int fd = 0; fd < 1024; ++fd) {
    sockaddr_in local{}, peer{};
    socklen_t len = sizeof local;
    socklen_t peer_len = sizeof peer;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &len) != 0 || local.sin_family != AF_INET ||
        ntohs(local.sin_port) != tracer.port() || getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peer_len) != 0) {
      continue;
    }
    ++accepted;
    EXPECT_NE(fcntl(fd, F_GETFD) & FD_CLOEXEC, 0) << "descriptor " << fd;
  }
  EXPECT_GE(accepted, 1);
}

TEST(TPKTTracer, CopiesToEveryClientAndDropsOneThatCannotKeepUp) {
  Tracer tracer;
  Fd reader = tracer.Connect();
  Fd sleeper = tracer.Connect();
  tracer.Send("hello");
  EXPECT_EQ(ReadNow(reader), Frame("hello"));
  EXPECT_EQ(ReadNow(sleeper), Frame("hello"));

  // The length field would wrap: refused before anything is written.
  tracer.Send(std::string(65532, 'L'));
  EXPECT_EQ(ReadNow(reader), "");
  EXPECT_EQ(tracer.logs.CountErr("too long for a TPKT frame"), 1);

  // The sleeper never reads: once its queues are full (some MB) it is dropped, and the reader keeps getting every
  // frame. Small frames, so that the reader's queues, emptied each time, always take a whole one.
  const std::string block(1000, 'B');
  for (int i = 0; i < 40000 && tracer.logs.CountErr("TPKTTracer: connection closed") == 0; ++i) {
    tracer.Send(block);
    size_t got = 0;
    for (char buffer[65536]; got < block.size() + 4;) {
      const ssize_t n = recv(reader.get(), buffer, sizeof buffer, 0);
      ASSERT_GT(n, 0);
      got += static_cast<size_t>(n);
    }
  }
  EXPECT_EQ(tracer.logs.CountErr("TPKTTracer: connection closed"), 1);
  EXPECT_FALSE(Closed(reader));
  // The sleeper finds the end of the stream behind what was queued for it.
  char buffer[65536];
  ssize_t n;
  while ((n = recv(sleeper.get(), buffer, sizeof buffer, 0)) > 0) {
  }
  EXPECT_EQ(n, 0);
}

}  // namespace
