#include "tests/e2e/GatewayFixture.h"

#include <gtest/gtest.h>

namespace e2e {
namespace {

using HeartbeatTest = GatewayFixture;

constexpr unsigned kTimeoutMs = 120000;
// Room for the real time that passes while the test talks to the server.
constexpr unsigned kMarginMs = 5000;

TEST_F(HeartbeatTest, DropsASilentControllerAndEverySlotWithIt) {
  ASSERT_TRUE(controller_.Send(CreateTrunk(1, 5, 0, 5)));
  ASSERT_TRUE(controller_.Send(CreateTrunk(2, 6, 0, 6)));
  ASSERT_TRUE(controller_.Send(Connect(3, 5, 6)));
  ASSERT_TRUE(controller_.Sync());
  ASSERT_EQ(board_.Ask("/dev/hal output 6"), "ok source 5");

  // Each command re-arms the watchdog, any kind of command.
  for (int seq = 4; seq < 6; ++seq) {
    ASSERT_TRUE(board_.AdvanceClock(kTimeoutMs - kMarginMs));
    ASSERT_TRUE(controller_.Send(Destroy(seq, 9)));
    ASSERT_TRUE(controller_.Sync());
  }
  ASSERT_TRUE(board_.AdvanceClock(kTimeoutMs));
  EXPECT_TRUE(controller_.WaitClosed());
  EXPECT_TRUE(server_.WaitForOutput("heartbeat timeout!!!\n"));
  EXPECT_TRUE(server_.WaitForOutput(" closed.\n"));

  // The slots went with the controller: their numbers are free, the path is cut.
  ASSERT_TRUE(controller_.Connect());
  ASSERT_TRUE(controller_.Sync());
  EXPECT_EQ(board_.Ask("/dev/hal output 6"), "ok constant 213");
  ASSERT_TRUE(controller_.Send(Destroy(7, 5)));
  ExpectNext(controller_, {7, 5u, "error slotNotExists"});
}

}  // namespace
}  // namespace e2e
