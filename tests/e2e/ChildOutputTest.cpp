#include "tests/e2e/Controller.h"
#include "tests/e2e/GatewayFixture.h"
#include "tests/e2e/ServerProcess.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

namespace e2e {
namespace {

// In daemon mode a child's descriptor 1 is the log socket: a fax sender whose
// banner waits on a log daemon that no longer reads must not hold the server.
TEST(ChildOutput, AFaxSenderWaitingOnTheLogStallsNeitherItsConnectNorPings) {
  ServerProcess server;
  // The log daemon: a datagram socket at /dev/log that is never read.
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string path = server.Path("/dev/log");
  ASSERT_LT(path.size(), sizeof address.sun_path);
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const sockaddr* log_address = reinterpret_cast<const sockaddr*>(&address);
  const int log = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  ASSERT_EQ(bind(log, log_address, sizeof address), 0);
  const std::string fax = server.Path("/usr/local/sbin/fax");
  std::filesystem::create_directories(std::filesystem::path(fax).parent_path());
  std::filesystem::copy_file(MODEM_PROGRAM_STANDIN, fax);
  // Once the log moves again the program runs and ends by itself.
  setenv("FAX_SCENARIO", "exit:1", 1);
  const bool started = server.Start({"--daemon", "--port", std::to_string(server.port())});
  unsetenv("FAX_SCENARIO");
  ASSERT_TRUE(started);
  EXPECT_EQ(server.WaitExitCode(), 0);
  ASSERT_TRUE(server.WaitReady());
  const pid_t daemon_pid = server.DaemonPid();
  ASSERT_GT(daemon_pid, 0);

  // A full queue: the banner the program writes before its exec waits.
  while (sendto(log, "x", 1, 0, log_address, sizeof address) == 1) {
  }
  EXPECT_EQ(errno, EAGAIN);
  // Commands are served in order: a ping answered after the connect, which
  // starts the program, shows that nothing waits on it.
  Controller controller(server);
  ASSERT_TRUE(controller.Connect());
  ASSERT_TRUE(controller.Send(Command(1, 5, [](LGCP::Command& command) {
    TERM::ModemParams& modem = command.select_create().select_modem();
    modem.include_fax();
    modem.include_execargs().push_back(ASN1::IA5String("send"));
  })));
  ASSERT_TRUE(controller.Send(CreateTrunk(2, 6, 1, 5)));
  ASSERT_TRUE(controller.Send(Connect(3, 6, 5)));
  EXPECT_TRUE(controller.Sync());

  // The log daemon goes: the banner's write fails, and the program runs.
  close(log);
  const std::string ran = server.Path("/fax.log");
  for (int wait = 0; wait < kWaitMs / 10 && !std::filesystem::exists(ran); ++wait) {
    server.Wait(-1, 0, 10);
  }
  EXPECT_TRUE(std::filesystem::exists(ran));
  EXPECT_TRUE(server.StopDaemon(daemon_pid));
}

}  // namespace
}  // namespace e2e
