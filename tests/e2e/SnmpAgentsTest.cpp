#include "tests/e2e/ServerProcess.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <string>

namespace e2e {
namespace {

// A listening loopback socket standing for an agent; closed with the test.
class AgentListener {
 public:
  AgentListener() : fd_(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    EXPECT_EQ(bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(listen(fd_, 1), 0);
    EXPECT_EQ(getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length), 0);
    port_ = ntohs(address.sin_port);
  }
  ~AgentListener() { close(fd_); }
  int fd() const { return fd_; }
  uint16_t port() const { return port_; }

 private:
  int fd_;
  uint16_t port_ = 0;
};

TEST(SnmpAgents, StartUpConnectsEachAgentOfTheConfiguration) {
  ServerProcess server;
  AgentListener agent;
  std::ofstream(server.Path("/usr/local/etc/server.conf"))
      << "[snmpagent]\nhost = 127.0.0.1:" << agent.port() << "\nname = vost\n"
      << "[snmpagent]\nhost = 127.0.0.1:0\nname = lemzgw\n";
  ASSERT_TRUE(server.StartServing());
  ASSERT_NE(server.Wait(agent.fd(), POLLIN) & POLLIN, 0) << server.output();
  const int connection = accept4(agent.fd(), nullptr, nullptr, SOCK_CLOEXEC);
  EXPECT_GE(connection, 0);
  close(connection);
  EXPECT_TRUE(server.WaitForOutput("snmpagent: invalid host value=\"127.0.0.1:0\"\n"));
}

}  // namespace
}  // namespace e2e
