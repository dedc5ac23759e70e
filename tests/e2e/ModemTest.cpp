#include "tests/e2e/GatewayFixture.h"
#include "tests/support/FreePort.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

namespace e2e {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr unsigned kModem = 5;
constexpr unsigned kTrunk = 6;

Bytes Words(std::initializer_list<uint32_t> words) {
  Bytes bytes;
  for (uint32_t word : words) {
    bytes.insert(bytes.end(), {static_cast<uint8_t>(word >> 24), static_cast<uint8_t>(word >> 16),
                               static_cast<uint8_t>(word >> 8), static_cast<uint8_t>(word)});
  }
  return bytes;
}

// The next message that is not a stream signal.
LGCP::Message NextSkippingStreams(Controller& controller) {
  LGCP::Message message;
  while (controller.Read(message)) {
    const LGCP::PDU& pdu = message.get_pdu();
    if (pdu.is_response() || (!pdu.get_signal().is_transmitter() && !pdu.get_signal().is_receiver())) {
      return message;
    }
  }
  ADD_FAILURE() << "no message";
  return message;
}

// A modem slot answering a call with the PPP daemon stand-in, and the local
// authentication program played by a test client on the server's listener.
class ModemTest : public GatewayFixture {
 protected:
  void SetUp() override {
    const std::string pppd = server_.Path("/usr/local/sbin/pppd");
    std::filesystem::create_directories(std::filesystem::path(pppd).parent_path());
    std::filesystem::copy_file(MODEM_PROGRAM_STANDIN, pppd);
    auth_port_ = test_support::FreePort();
    setenv("GATEWAY_AUTH_PORT", std::to_string(auth_port_).c_str(), 1);
    GatewayFixture::SetUp();
  }
  void TearDown() override {
    GatewayFixture::TearDown();
    unsetenv("GATEWAY_AUTH_PORT");
    if (portslave_ >= 0) {
      close(portslave_);
    }
  }

  void ConnectPortslave() {
    portslave_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(auth_port_);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(connect(portslave_, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  }
  Bytes ReadPortslave(size_t size) {
    Bytes bytes;
    while (bytes.size() < size && (server_.Wait(portslave_, POLLIN) & POLLIN) != 0) {
      uint8_t chunk[256];
      const ssize_t n = read(portslave_, chunk, sizeof chunk);
      if (n <= 0) {
        break;
      }
      bytes.insert(bytes.end(), chunk, chunk + n);
    }
    return bytes;
  }

  uint16_t auth_port_ = 0;
  int portslave_ = -1;
};

TEST_F(ModemTest, DialInIsAuthenticatedThroughTheControllerAndTheDaemonHungUp) {
  LGCP::Message create = Command(1, kModem);
  create.get_pdu().get_command().select_create().select_modem().set_cid("5551234");
  ASSERT_TRUE(controller_.Send(create));
  ExpectNext(controller_, {1, kModem, "success"});
  ASSERT_TRUE(controller_.Send(CreateTrunk(2, kTrunk, 1, 5)));
  ExpectNext(controller_, {2, kTrunk, "success"});
  ASSERT_TRUE(controller_.Send(Connect(3, kTrunk, kModem)));
  EXPECT_EQ(Describe(NextSkippingStreams(controller_)), "success");
  ASSERT_TRUE(server_.WaitForOutput("pppd executed cid=\"5551234\""));
  EXPECT_EQ(board_.Ask("/dev/hal output 384"), "ok source 37");

  // The daemon's authentication program asks for the user of modem 0.
  ConnectPortslave();
  Bytes request = Words({140, 1, 0});
  request.resize(140);
  std::copy_n("alice", 5, request.begin() + 12);
  std::copy_n("secret", 6, request.begin() + 76);
  ASSERT_EQ(write(portslave_, request.data(), request.size()), 140);
  const LGCP::Message auth = NextSkippingStreams(controller_);
  ASSERT_TRUE(auth.get_pdu().is_signal() && auth.get_pdu().get_signal().is_modemProceeding());
  const TERM::ModemProceeding& proceeding = auth.get_pdu().get_signal().get_modemProceeding();
  ASSERT_TRUE(proceeding.is_auth());
  EXPECT_EQ(std::string(proceeding.get_auth().get_username()), "alice");
  EXPECT_EQ(std::string(proceeding.get_auth().get_password()), "secret");

  LGCP::Message activate = Command(4, kModem);
  TERM::ModemUserParameters& user = activate.get_pdu().get_command().select_activate().select_modem();
  user.set_remoteAddr("10.1.2.3");
  user.set_netmask("255.255.255.255");
  user.set_gateway("10.1.2.1");
  user.set_dns("10.1.2.2");
  user.set_mtu(1500);
  ASSERT_TRUE(controller_.Send(activate));
  ExpectNext(controller_, {4, kModem, "success"});
  Bytes expected = Words({16, 2, 0, 1});
  const Bytes parameters = Words({36, 3, 0, 0, 0x0a010203, 0xffffffff, 0x0a010201, 0x0a010202, 1500});
  expected.insert(expected.end(), parameters.begin(), parameters.end());
  EXPECT_EQ(ReadPortslave(expected.size()), expected);

  // The destroy is answered once the daemon has left on its hang-up (taken once it is listening for it).
  const std::string log_path = server_.Path("/pppd.log");
  for (int waited = 0; ReadFile(log_path).find("pid=") == std::string::npos && waited < kWaitMs; waited += 10) {
    poll(nullptr, 0, 10);
  }
  ASSERT_TRUE(controller_.Send(Destroy(5, kTrunk)));
  EXPECT_EQ(Describe(NextSkippingStreams(controller_)), "success");
  ASSERT_TRUE(controller_.Send(Destroy(6, kModem)));
  EXPECT_EQ(Describe(NextSkippingStreams(controller_)), "success");
  EXPECT_NE(server_.output().find("sent HUP to pppd."), std::string::npos);
  const std::string log = ReadFile(log_path);
  EXPECT_NE(log.find("argv[1]=file\nargv[2]=/usr/local/etc/ppp/aoptions\nargv[3]=/dev/mdm0\nargv[4]=remotenumber\n"
                     "argv[5]=5551234\n"),
            std::string::npos)
      << log;
}

}  // namespace
}  // namespace e2e
