#include "runtime/transport/ControlConnectorNet.h"

#include "tests/support/ControlLoop.h"

#include <gtest/gtest.h>

#include <sys/socket.h>

#include <functional>
#include <memory>
#include <string>

namespace {

using control_test::BoundSocket;
using control_test::Frame;
using control_test::FrozenClock;
using control_test::LocalPort;
using control_test::Logs;
using control_test::ReadNow;
using control_test::Recorder;
using control_test::RunUntil;
using State = Control::Service::State;

// Counts the failed attempts of a connector by its lines, and checks when the
// next one comes.
class Attempts {
 public:
  Attempts(FrozenClock& clock, const Logs& logs, std::string line) : clock_(clock), logs_(logs), line_(line) {}
  int Count() const { return logs_.CountErr(line_); }
  // The next failed attempt comes exactly ms after the last one.
  void ExpectNextAfter(unsigned ms) {
    const int before = Count();
    clock_.Advance(ms - 1);
    control_test::RunPasses(3);
    EXPECT_EQ(Count(), before) << "early, before " << ms << " ms";
    clock_.Advance(1);
    EXPECT_TRUE(RunUntil([&] { return Count() == before + 1; })) << "missing after " << ms << " ms";
  }

 private:
  FrozenClock& clock_;
  const Logs& logs_;
  std::string line_;
};

// A host that does not parse must not become 0.0.0.0, which reaches this host.
TEST(ControlConnectorNet, RefusesAHostThatDoesNotParse) {
  Fd listener = BoundSocket(true);
  const uint16_t port = LocalPort(listener.get());
  const struct {
    const char* name;
    std::function<std::unique_ptr<Control::ConnectorNet>()> make;
    std::string line;
  } kCases[] = {
      {"host and port", [&] { return std::make_unique<Control::ConnectorNet>("agent", port); },
       "can't connect to agent : not an IPv4 address\n"},
      {"address text", [&] { return std::make_unique<Control::ConnectorNet>("300.0.0.1:" + std::to_string(port)); },
       "can't connect to 300.0.0.1:" + std::to_string(port) + " : not an IPv4 address\n"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    FrozenClock clock;
    Logs logs;
    std::unique_ptr<Control::ConnectorNet> connector = c.make();
    (void)connector->Activate();
    control_test::RunPasses(3);
    clock.Advance(60000);
    control_test::RunPasses(3);
    EXPECT_EQ(connector->state(), State::Idle);
    EXPECT_EQ(logs.Err(), c.line);
  }
}

TEST(ControlConnectorNet, ReconnectsTenSecondsAfterADropWithTheFastRetriesLeft) {
  FrozenClock clock;
  Logs logs;
  Fd server = BoundSocket(false);
  const uint16_t port = LocalPort(server.get());
  const std::string address = "127.0.0.1:" + std::to_string(port);
  Attempts attempts(clock, logs, "fail to connect to " + address + "\n");
  Control::ConnectorNet connector(address);
  Recorder recorder;
  connector.Bind(&recorder);
  ASSERT_TRUE(connector.Activate());
  ASSERT_TRUE(RunUntil([&] { return attempts.Count() == 1; }));
  attempts.ExpectNextAfter(1000);

  ASSERT_EQ(listen(server.get(), 1), 0);
  clock.Advance(1000);
  ASSERT_TRUE(RunUntil([&] { return connector.state() == State::Connected; }));
  EXPECT_EQ(logs.Out(), "connected to " + address + ".\n");
  Fd agent(accept4(server.get(), nullptr, nullptr, SOCK_CLOEXEC));
  connector.Send("hi", 2);
  EXPECT_EQ(ReadNow(agent), Frame("hi"));
  const std::string answer = Frame("yo");
  ASSERT_EQ(write(agent.get(), answer.data(), answer.size()), static_cast<ssize_t>(answer.size()));
  ASSERT_TRUE(RunUntil([&] { return recorder.calls.size() == 2; }));

  server.close();
  agent.close();
  ASSERT_TRUE(RunUntil([&] { return recorder.calls.size() == 3; }));
  EXPECT_EQ(recorder.Calls(), "connect;message:yo;disconnect;");
  EXPECT_EQ(connector.state(), State::Connecting);
  attempts.ExpectNextAfter(10000);
  for (int retry = 0; retry < 5; ++retry) {
    attempts.ExpectNextAfter(1000);
  }
  attempts.ExpectNextAfter(15000);
}

TEST(ControlConnectorNet, DeactivateStopsAnAttemptUnderWay) {
  FrozenClock clock;
  // A full backlog drops further handshakes, so the attempt stays under way.
  Fd server = BoundSocket(false);
  ASSERT_EQ(listen(server.get(), 0), 0);
  Fd filler = control_test::Connect(LocalPort(server.get()));
  Logs logs;
  Control::ConnectorNet connector("127.0.0.1", LocalPort(server.get()));
  ASSERT_TRUE(connector.Activate());
  control_test::RunPasses(3);
  EXPECT_EQ(connector.state(), State::Connecting);
  connector.Deactivate();
  clock.Advance(60000);
  control_test::RunPasses(3);
  EXPECT_EQ(connector.state(), State::Idle);
  EXPECT_EQ(logs.Err() + logs.Out(), "");
}

}  // namespace
