#include "tests/e2e/GatewayFixture.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

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
  {
    // The server inherits the lowered limit; this process keeps it only while starting it.
    rlimit lowered{kShellSoftLimit, limit.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &lowered), 0);
    const bool started = server.StartServing();
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &limit), 0);
    ASSERT_TRUE(started);
  }
  EXPECT_TRUE(server.WaitForOutput("open files limit " + std::to_string(limit.rlim_max) + "\n"));
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

}  // namespace
}  // namespace e2e
