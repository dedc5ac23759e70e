#include "tests/e2e/ServerProcess.h"
#include "tests/support/ControlLoop.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>

#include <fstream>
#include <string>

namespace e2e {
namespace {

TEST(SnmpAgents, StartUpConnectsEachAgentOfTheConfiguration) {
  ServerProcess server;
  const Fd agent = control_test::BoundSocket(true);
  std::ofstream(server.Path("/usr/local/etc/server.conf"))
      << "[snmpagent]\nhost = 127.0.0.1:" << control_test::LocalPort(agent.get()) << "\nname = vost\n"
      << "[snmpagent]\nhost = 127.0.0.1:0\nname = lemzgw\n";
  ASSERT_TRUE(server.StartServing());
  ASSERT_NE(server.Wait(agent.get(), POLLIN) & POLLIN, 0) << server.output();
  EXPECT_TRUE(Fd(accept4(agent.get(), nullptr, nullptr, SOCK_CLOEXEC)).get() >= 0);
  EXPECT_TRUE(server.WaitForOutput("snmpagent: invalid host value=\"127.0.0.1:0\"\n"));
}

}  // namespace
}  // namespace e2e
