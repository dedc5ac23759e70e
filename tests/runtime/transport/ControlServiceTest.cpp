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

}  // namespace
