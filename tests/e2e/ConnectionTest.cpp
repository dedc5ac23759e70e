#include "tests/e2e/GatewayFixture.h"

#include <gtest/gtest.h>

#include <string>

namespace e2e {
namespace {

using ConnectionTest = GatewayFixture;

TEST_F(ConnectionTest, RefusesASecondControllerWhileServingTheFirst) {
  Controller second(server_);
  ASSERT_TRUE(second.Connect());
  EXPECT_TRUE(second.WaitClosed());
  EXPECT_TRUE(server_.WaitForOutput("refuse connection from 127.0.0.1:"));
  // The refusal hints that the live connection may be dead: it is probed.
  EXPECT_TRUE(server_.WaitForOutput("CheckConnectionState CheckConnection\n"));
  ASSERT_TRUE(controller_.Send(Ping(1)));
  ExpectNext(controller_, {1, std::nullopt, "success"});

  // The next check, a second later, finds the live connection healthy.
  const size_t offset = server_.output().size();
  ASSERT_TRUE(board_.AdvanceClock(1000));
  EXPECT_TRUE(server_.WaitForOutput("CheckConnectionState Idle\n", offset));
  EXPECT_TRUE(controller_.Sync());
}

}  // namespace
}  // namespace e2e
