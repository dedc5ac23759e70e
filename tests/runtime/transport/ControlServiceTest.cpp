#include "runtime/transport/ControlService.h"

#include "tests/support/ControlLoop.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <string>

namespace {

using control_test::Frame;
using control_test::Logs;
using control_test::ReadNow;
using control_test::Recorder;
using control_test::RunUntil;
using State = Control::Service::State;

// A service whose connection is one end of a socket pair.
class PairService : public Control::ServiceUnix {
 public:
  explicit PairService(bool verbose = true) : ServiceUnix(verbose) { Bind(&recorder); }
  // Connects the service to a fresh pair; returns the peer's end.
  Fd Connect() {
    control_test::SocketPair pair;
    Connected(pair.local, "pair");
    return std::move(pair.peer);
  }
  bool ImplActivate() override { return starts; }
  void ImplDeactivate() override { log += "deactivate;"; }
  void ImplOnDisconnect() override { log += "on-disconnect;"; }

  Recorder recorder;
  bool starts = true;
  std::string log;
};

TEST(ControlService, DisconnectReportsOnceEvenWithoutAConnection) {
  for (bool connected : {true, false}) {
    SCOPED_TRACE(connected ? "connected" : "never connected");
    PairService service;
    Fd peer = connected ? service.Connect() : Fd();
    Logs logs;
    service.Disconnect();
    service.Disconnect();
    EXPECT_EQ(logs.Err(), connected ? "control connection pair closed.\n" : "control connection  closed.\n");
    ASSERT_TRUE(
        RunUntil([&] { return !service.recorder.calls.empty() && service.recorder.calls.back() == "disconnect"; }));
    control_test::RunPasses(3);
    EXPECT_EQ(service.recorder.Calls(), connected ? "connect;disconnect;" : "disconnect;");
  }
}

TEST(ControlService, OversizedMessageIsDroppedAndTheConnectionStays) {
  PairService service;
  Fd peer = service.Connect();
  const std::string big(70000, 'x');
  Logs logs;
  service.Send(big.data(), static_cast<int>(big.size()));
  service.Send("ok", 2);
  EXPECT_EQ(ReadNow(peer), Frame("ok"));
  EXPECT_EQ(service.state(), State::Connected);
  EXPECT_NE(logs.Err(), "");
}

// With no controller, periodic reports would log a line each: only the first refusal is, then counts.
TEST(ControlService, RefusedSendsAreLoggedOnceThenCounted) {
  const std::string refused = "Control::Service::Send() ignore Send request in ";
  const std::string counted = "Control::Service::Send() ignored ";
  control_test::FrozenClock clock;
  PairService service;
  Logs logs;
  ASSERT_TRUE(service.Activate());
  for (int i = 0; i < 5; ++i) {
    service.Send("x", 1);
  }
  EXPECT_EQ(logs.Err(), refused + "Connecting state.\n");
  clock.Advance(59999);
  service.Send("x", 1);
  EXPECT_EQ(logs.CountErr(counted), 0);
  clock.Advance(1);
  service.Send("x", 1);
  service.Send("x", 1);
  EXPECT_EQ(logs.Err(), refused + "Connecting state.\n" + counted + "6 more Send requests in Connecting state.\n");

  // The state changes: the one not written yet is counted, and the next refusal starts again.
  logs.Clear();
  service.Deactivate();
  service.Send("x", 1);
  EXPECT_EQ(logs.Err(), counted + "1 more Send requests in Connecting state.\n" + refused + "Idle state.\n");
  logs.Clear();
  Fd peer = service.Connect();
  service.Send("ok", 2);
  EXPECT_EQ(ReadNow(peer), Frame("ok"));
  EXPECT_EQ(logs.Err(), "");

  PairService quiet(false);
  ASSERT_TRUE(quiet.Activate());
  quiet.Send("x", 1);
  EXPECT_EQ(logs.Err(), "");
}

}  // namespace
