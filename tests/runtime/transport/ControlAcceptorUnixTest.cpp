#include "runtime/transport/ControlAcceptorUnix.h"

#include "runtime/transport/ControlConnectorUnix.h"
#include "tests/support/ControlLoop.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace {

using control_test::Logs;
using control_test::Recorder;
using control_test::RunUntil;
using State = Control::Service::State;

TEST(ControlAcceptorUnix, ServesOneConnectorAtATime) {
  char folder[] = "/tmp/control-unix-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string path = std::string(folder) + "/control";
  // A file left at the path by an earlier run is replaced.
  Fd(creat(path.c_str(), 0600)).close();
  control_test::FrozenClock clock;
  Logs logs;
  Control::AcceptorUnix acceptor(path);
  Recorder served;
  acceptor.Bind(&served);
  ASSERT_TRUE(acceptor.Activate());

  Control::ConnectorUnix first(path);
  Recorder peer;
  first.Bind(&peer);
  ASSERT_TRUE(first.Activate());
  ASSERT_TRUE(RunUntil([&] { return acceptor.state() == State::Connected; }));
  first.Send("ping", 4);
  ASSERT_TRUE(RunUntil([&] { return served.calls.size() == 2; }));
  acceptor.Send("pong", 4);
  ASSERT_TRUE(RunUntil([&] { return peer.calls.size() == 2; }));
  EXPECT_EQ(served.Calls(), "connect;message:ping;");
  EXPECT_EQ(peer.Calls(), "connect;message:pong;");
  EXPECT_EQ(logs.Out(), "new connection from \n");

  Control::ConnectorUnix second(path);
  Recorder refused;
  second.Bind(&refused);
  ASSERT_TRUE(second.Activate());
  ASSERT_TRUE(RunUntil([&] { return refused.calls.size() == 2; }));
  EXPECT_EQ(refused.Calls(), "connect;disconnect;");
  EXPECT_EQ(logs.CountErr("refuse connection from \n"), 1);

  acceptor.Disconnect();
  ASSERT_TRUE(RunUntil([&] { return peer.calls.size() == 3; }));
  EXPECT_EQ(peer.calls.back(), "disconnect");
  unlink(path.c_str());
  rmdir(folder);
}

}  // namespace
