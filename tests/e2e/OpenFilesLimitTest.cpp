#include "tests/e2e/GatewayFixture.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/resource.h>

#include <filesystem>
#include <string>

namespace e2e {
namespace {

constexpr rlim_t kShellSoftLimit = 1024;
constexpr unsigned kRtpPool = 1024;

LGCP::Message CreateRtp(int seq, unsigned slot) {
  return Command(seq, slot, [](LGCP::Command& c) {
    LGCP::CreateRtpParams& create = c.select_create().select_rtp();
    TERM::RtpParams& rtp = create.get_codecRTP();
    rtp.set_payload(TERM::Payload::ptG711_Alaw);
    rtp.get_dhost().set_iaddr("127.0.0.1");
    rtp.get_dhost().get_port().setValue(9);
    create.set_txPayload(TERM::Payload::ptG711_Alaw);
    create.set_rxPayload(TERM::Payload::ptG711_Alaw);
  });
}

LGCP::Message CreateT38(int seq, unsigned slot) {
  return Command(seq, slot, [](LGCP::Command& c) {
    LGCP::T38Soft& t38 = c.select_create().select_t38soft();
    t38.get_dhost().set_iaddr("10.0.0.9");
    t38.get_dhost().set_port(4000);
    t38.get_shost().set_iaddr("10.0.0.1");
    t38.get_shost().set_port(5000);
    t38.set_rx_packet_size(160);
  });
}

// Starts the server under a shell's usual soft limit; the server inherits it,
// this process keeps it only while starting it.
void StartUnderShellLimit(ServerProcess& server, const rlimit& limit) {
  rlimit lowered{kShellSoftLimit, limit.rlim_max};
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &lowered), 0);
  const bool started = server.StartServing();
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &limit), 0);
  ASSERT_TRUE(started);
  EXPECT_TRUE(server.WaitForOutput("open files limit " + std::to_string(limit.rlim_max) + "\n"));
}

// Each RTP slot holds several descriptors, so under a shell's usual soft limit
// of 1,024 open files the server would refuse slots long before the board's
// RTP channels run out.
TEST(OpenFilesLimit, RaisedAtStartSoTheBoardBoundsTheSlots) {
  rlimit limit{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limit), 0);
  if (limit.rlim_max <= 4 * kShellSoftLimit) {
    GTEST_SKIP() << "the hard limit of open files, " << limit.rlim_max << ", leaves nothing to raise";
  }
  ServerProcess server;
  ASSERT_NO_FATAL_FAILURE(StartUnderShellLimit(server, limit));
  Controller controller(server);
  ASSERT_TRUE(controller.Connect());
  ASSERT_TRUE(controller.Sync());
  for (unsigned slot = 0; slot < kRtpPool; ++slot) {
    ASSERT_TRUE(controller.Send(CreateRtp(static_cast<int>(slot), slot)));
    LGCP::Message answer;
    do {
      ASSERT_TRUE(controller.Read(answer));
    } while (!answer.has_seq());
    ASSERT_EQ(Describe(answer), "success") << "slot " << slot;
  }
  server.Signal(SIGTERM);
  EXPECT_EQ(server.WaitExitCode(), 0);
}

// Programs that close every descriptor up to _SC_OPEN_MAX would crawl under
// the raised limit: the children get the one the server started with.
TEST(OpenFilesLimit, ChildProgramsGetTheLimitTheServerStartedWith) {
  rlimit limit{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limit), 0);
  if (limit.rlim_max <= kShellSoftLimit) {
    GTEST_SKIP() << "the hard limit of open files, " << limit.rlim_max << ", leaves nothing to raise";
  }
  ServerProcess server;
  const std::string t38 = server.Path("/usr/local/sbin/t38");
  std::filesystem::create_directories(std::filesystem::path(t38).parent_path());
  std::filesystem::copy_file(T38_STANDIN_PATH, t38);
  ASSERT_NO_FATAL_FAILURE(StartUnderShellLimit(server, limit));
  Controller controller(server);
  ASSERT_TRUE(controller.Connect());
  ASSERT_TRUE(controller.Sync());
  ASSERT_TRUE(controller.Send(CreateT38(1, 3)));
  ExpectNext(controller, {1, 3u, "success"});

  const std::string log_path = server.Path("/t38.log");
  for (int waited = 0; ReadFile(log_path).find("open files") == std::string::npos && waited < kWaitMs; waited += 10) {
    poll(nullptr, 0, 10);
  }
  const std::string log = ReadFile(log_path);
  EXPECT_NE(log.find("open files limit=" + std::to_string(kShellSoftLimit) + "\n"), std::string::npos) << log;
  server.Signal(SIGTERM);
  EXPECT_EQ(server.WaitExitCode(), 0);
}

}  // namespace
}  // namespace e2e
