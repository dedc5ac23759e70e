#include "runtime/transport/ControlAcceptorNet.h"

#include "tests/support/ControlLoop.h"

#include <gtest/gtest.h>

#include <netinet/tcp.h>
#include <sys/socket.h>

#include <string>
#include <vector>

namespace {

using control_test::Connect;
using control_test::Frame;
using control_test::FrozenClock;
using control_test::Logs;
using control_test::ReadNow;
using control_test::Recorder;
using control_test::RunUntil;
using State = Control::Service::State;

// The controller's acceptor on a free port, with a look at the socket it
// accepted last (the test's duplicate is dropped with Forget).
class Acceptor : public Control::AcceptorNetCheckConnection {
 public:
  explicit Acceptor(int port = 0, bool verbose = true, bool activate = true)
      : AcceptorNetCheckConnection(port, verbose) {
    Bind(&recorder);
    if (activate) {
      EXPECT_TRUE(Activate());
    }
  }
  uint16_t Port() const { return control_test::LocalPort(listener().get()); }
  bool Listening() const { return static_cast<bool>(listener()); }
  void ImplConnected(Fd fd) override {
    accepted = fd;
    AcceptorNetCheckConnection::ImplConnected(std::move(fd));
  }
  int Option(int level, int option) const {
    int value = -1;
    socklen_t len = sizeof value;
    EXPECT_EQ(getsockopt(accepted.get(), level, option, &value, &len), 0);
    return value;
  }
  std::vector<int> KeepAlive() const {
    return {Option(SOL_SOCKET, SO_KEEPALIVE), Option(IPPROTO_TCP, TCP_KEEPIDLE), Option(IPPROTO_TCP, TCP_KEEPINTVL),
            Option(IPPROTO_TCP, TCP_KEEPCNT)};
  }
  void Forget() { accepted.close(); }

  Recorder recorder;
  Fd accepted;
};

std::string PeerOf(const Fd& client) {
  return "127.0.0.1:" + std::to_string(control_test::LocalPort(client.get()));
}

// The sanitizer's type checks need descriptors of their own: before a test takes them all away, they meet every
// type of the failing paths (a retry armed, the listener's event served, a connection's end) while they can.
void MeetTheSanitizer() {
  Logs quiet;
  Fd blocker = control_test::BoundSocket(true);
  Acceptor retrying(control_test::LocalPort(blocker.get()));
  Acceptor serving;
  Fd client = Connect(serving.Port());
  EXPECT_TRUE(RunUntil([&] { return serving.state() == State::Connected; }));
  client.close();
  EXPECT_TRUE(RunUntil([&] { return serving.recorder.calls.size() == 2; }));
}

TEST(ControlAcceptorNet, CheckDropsAConnectionThePeerLeft) {
  const struct {
    const char* name;
    bool reset;
    std::string lines;
  } kCases[] = {
      {"closed", false, " closed: tcp socket change state.\n"},
      {"reset", true, " closed: tcp socket change state.\nconnection from %s closed: Connection reset by peer\n"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    FrozenClock clock;
    Acceptor acceptor;
    Fd client = Connect(acceptor.Port());
    ASSERT_TRUE(RunUntil([&] { return acceptor.state() == State::Connected; }));
    const std::string peer = PeerOf(client);
    Logs logs;
    if (c.reset) {
      control_test::CloseWithReset(client);
    } else {
      client.close();
    }
    // The check runs before the stream layer reads the end of the stream.
    clock.Advance(1000);
    ASSERT_TRUE(RunUntil([&] { return acceptor.state() != State::Connected; }));
    std::string lines = c.lines;
    const size_t at = lines.find("%s");
    if (at != std::string::npos) {
      lines.replace(at, 2, peer);
    }
    EXPECT_EQ(logs.Err(), "connection from " + peer + lines + "control connection " + peer +
                              " closed.\nCheckConnectionState Idle\n");
    ASSERT_TRUE(RunUntil([&] { return acceptor.recorder.calls.size() == 2; }));
    EXPECT_EQ(acceptor.recorder.Calls(), "connect;disconnect;");
  }
}

// Also when the service is deactivated or activated again before the disconnect is reported.
TEST(ControlAcceptorNet, DroppedControllerSeesTheConnectionEnd) {
  const struct {
    const char* name;
    void (*meanwhile)(Acceptor&);
  } kCases[] = {
      {"disconnect only", [](Acceptor&) {}},
      {"deactivated", [](Acceptor& a) { a.Deactivate(); }},
      {"activated again", [](Acceptor& a) { EXPECT_TRUE(a.Activate()); }},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    FrozenClock clock;
    Acceptor acceptor;
    Fd client = Connect(acceptor.Port());
    ASSERT_TRUE(RunUntil([&] { return acceptor.state() == State::Connected; }));
    acceptor.Forget();
    acceptor.Disconnect();
    c.meanwhile(acceptor);
    ASSERT_TRUE(RunUntil([&] { return acceptor.recorder.calls.size() == 2; }));
    EXPECT_EQ(ReadNow(client), "EOF");
  }
}

TEST(ControlAcceptorNet, ConnectionArrivingDuringTeardownIsServedAfterIt) {
  FrozenClock clock;
  // A handler polled before the listener drops the controller in the same pass
  // in which the next one is accepted.
  struct Dropper {
    void OnEvent(int, short revents) {
      if ((revents & POLLIN) != 0 && acceptor != nullptr) {
        acceptor->Disconnect();
        acceptor = nullptr;
      }
    }
    Control::Service* acceptor = nullptr;
  } dropper;
  control_test::SocketPair trigger;
  Event drop;
  drop.Bind("drop", &Dropper::OnEvent, &dropper);
  drop.Schedule(trigger.local, POLLIN);

  Acceptor acceptor;
  Fd first = Connect(acceptor.Port());
  ASSERT_TRUE(RunUntil([&] { return acceptor.state() == State::Connected; }));
  dropper.acceptor = &acceptor;
  ASSERT_EQ(write(trigger.peer.get(), "x", 1), 1);
  Fd second = Connect(acceptor.Port());
  ASSERT_TRUE(RunUntil([&] { return acceptor.recorder.calls.size() == 3; }));
  EXPECT_EQ(acceptor.recorder.Calls(), "connect;disconnect;connect;");
  EXPECT_EQ(acceptor.peer(), PeerOf(second));
  acceptor.Send("hi", 2);
  EXPECT_EQ(ReadNow(second), Frame("hi"));
  EXPECT_EQ(ReadNow(first), "EOF");
}

// The listener is polled before the live connection, so the newcomer knocks
// before the old connection's last message and end of stream are read.
TEST(ControlAcceptorNet, ControllerThatReconnectsAtOnceIsServed) {
  FrozenClock clock;
  Logs logs;
  Acceptor acceptor;
  Fd first = Connect(acceptor.Port());
  ASSERT_TRUE(RunUntil([&] { return acceptor.state() == State::Connected; }));
  const std::string last = Frame("bye");
  ASSERT_EQ(write(first.get(), last.data(), last.size()), static_cast<ssize_t>(last.size()));
  first.close();
  Fd second = Connect(acceptor.Port());
  ASSERT_TRUE(RunUntil([&] { return acceptor.recorder.calls.size() == 4; }));
  EXPECT_EQ(acceptor.recorder.Calls(), "connect;message:bye;disconnect;connect;");
  EXPECT_EQ(acceptor.peer(), PeerOf(second));
  EXPECT_EQ(logs.CountErr("refuse connection from "), 0);
}

TEST(ControlAcceptorNet, ListenerThatCouldNotBeCreatedIsRetried) {
  FrozenClock clock;
  MeetTheSanitizer();
  Logs logs;
  Acceptor acceptor(0, true, false);
  {
    control_test::DescriptorLimit limit(0);
    EXPECT_TRUE(acceptor.Activate());
  }
  EXPECT_EQ(logs.Err(), "can't create socket:Too many open files\n");
  EXPECT_EQ(acceptor.state(), State::Connecting);

  clock.Advance(5000);
  ASSERT_TRUE(RunUntil([&] { return acceptor.Listening(); }));
}

TEST(ControlAcceptorNet, PausesWhileNoDescriptorIsLeftForAConnection) {
  FrozenClock clock;
  MeetTheSanitizer();
  Logs logs;
  Acceptor acceptor;
  // Completed by the backlog; the server cannot take it while it has no descriptor to spare.
  Fd client = Connect(acceptor.Port());
  {
    // Three for the test loop (its pair, and the loop's copy of one end), none for accept.
    control_test::DescriptorLimit limit(3);
    control_test::RunPasses(5);
  }
  // One failure, then no more tries: nothing spins.
  EXPECT_EQ(logs.Err(), "can't accept connection: Too many open files  waiting...\n");

  clock.Advance(4999);
  control_test::RunPasses(3);
  EXPECT_EQ(acceptor.state(), State::Connecting);
  clock.Advance(1);
  ASSERT_TRUE(RunUntil([&] { return acceptor.state() == State::Connected; }));
  EXPECT_EQ(logs.Out(), "new connection from " + PeerOf(client) + "\n");
}

TEST(ControlAcceptorNet, DeactivatedFromOnConnectStopsAccepting) {
  FrozenClock clock;
  Logs logs;
  Acceptor acceptor;
  struct Deactivator : Recorder {
    void OnConnect() override {
      Recorder::OnConnect();
      service->Deactivate();
    }
    Control::Service* service = nullptr;
  } notify;
  notify.service = &acceptor;
  acceptor.Bind(&notify);
  Fd client = Connect(acceptor.Port());
  ASSERT_TRUE(RunUntil([&] { return !notify.calls.empty(); }));
  clock.Advance(5000);
  control_test::RunPasses(3);
  EXPECT_FALSE(acceptor.Listening());
  EXPECT_EQ(logs.Err(), "");
}

// However few descriptors are left when a connection is taken, one that comes up healthy is not dropped by the check.
TEST(ControlAcceptorNet, ConnectionTakenWithFewDescriptorsLeftPassesTheCheck) {
  MeetTheSanitizer();
  for (int spare = 3; spare <= 8; ++spare) {
    SCOPED_TRACE(spare);
    FrozenClock clock;
    Logs logs;
    Acceptor acceptor;
    Fd client = Connect(acceptor.Port());
    {
      control_test::DescriptorLimit limit(spare);
      control_test::RunPasses(5);
    }
    if (acceptor.state() != State::Connected) {
      continue;
    }
    acceptor.Forget();
    logs.Clear();
    clock.Advance(1000);
    control_test::RunPasses(3);
    EXPECT_EQ(acceptor.state(), State::Connected);
    EXPECT_EQ(logs.Err(), "");
  }
}

}  // namespace
