#include "signalling/LAPD.h"

#include "tests/signalling/LapdBackToBack.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace lapd_test;
using Events = std::vector<std::string>;

void ExpectInOrder(const std::vector<Bytes>& got, uint8_t type, unsigned count) {
  ASSERT_EQ(got.size(), count);
  for (unsigned i = 0; i < count; ++i) {
    ASSERT_EQ(got[i], Q931(type, i)) << "message " << i;
  }
}

TEST(LAPDBackToBack, CarriesThousandMessagesEachWayOverALossyCable) {
  BackToBack b;
  b.user.end.line.impairments.drop_every = 11;
  b.network.end.line.impairments.drop_every = 11;
  b.user.link->local_activate();
  ASSERT_TRUE(b.StepUntil([&] { return b.BothUp(); }, 10000));
  ASSERT_TRUE(b.Exchange(1000, 600000));
  ExpectInOrder(b.network.owner.messages, 0x05, 1000);
  ExpectInOrder(b.user.owner.messages, 0x07, 1000);
  // Sequence numbers wrapped past 127 several times, and losses were recovered.
  EXPECT_EQ(b.user.link->stats().rx, 1000u);
  EXPECT_GT(b.user.link->stats().retrains + b.network.link->stats().retrains, 0u);
  EXPECT_EQ(b.user.owner.TakeEvents(), Events{"activated"});
}

TEST(LAPDBackToBack, SimultaneousEstablishment) {
  BackToBack b;
  b.user.link->local_activate();
  b.network.link->local_activate();
  ASSERT_TRUE(b.StepUntil([&] { return b.BothUp(); }, 10000));
  EXPECT_EQ(b.user.owner.TakeEvents(), Events{"activated"});
  EXPECT_EQ(b.network.owner.TakeEvents(), Events{"activated"});
  ASSERT_TRUE(b.Exchange(20, 10000));
}

// The UA that answers SABME meets a full channel: the link still comes up
// once on each side and the messages sent behind the UA arrive.
TEST(LAPDBackToBack, AnswerToSabmeOnAFullChannelIsNotLost) {
  BackToBack b;
  b.network.end.RefuseNext(1);
  b.user.link->local_activate();
  b.Step(10);
  for (unsigned i = 0; i < 3; ++i) {
    b.network.Send(Q931(0x07, i));
  }
  b.StepUntil([] { return false; }, 5000);
  ExpectInOrder(b.user.owner.messages, 0x07, 3);
  EXPECT_EQ(b.user.owner.TakeEvents(), Events{"activated"});
  EXPECT_EQ(b.network.owner.TakeEvents(), Events{"activated"});
}

TEST(LAPDBackToBack, CableCutReleasesAndRestoredCableReestablishes) {
  BackToBack b;
  b.user.link->local_activate();
  ASSERT_TRUE(b.StepUntil([&] { return b.BothUp(); }, 10000));
  b.user.owner.TakeEvents();
  b.network.owner.TakeEvents();
  b.user.end.line.impairments.cut = true;
  b.network.end.line.impairments.cut = true;
  b.user.Send(Q931(0x05, 0));
  // T200 three enquiries, then four SABMEs, then the release.
  ASSERT_TRUE(b.StepUntil([&] { return b.user.link->full_state().state == LAPD::kTeiAssigned; }, 20000));
  EXPECT_EQ(b.user.owner.TakeEvents(), (Events{"status Unsuccessful retransmission (N200 times) - Status enquiry",
                                               "status Unsuccessful retransmission (N200 times) - SABME",
                                               "deactivated link error (T200 expired N200 times)"}));

  b.user.end.line.impairments.cut = false;
  b.network.end.line.impairments.cut = false;
  b.user.link->local_activate();
  ASSERT_TRUE(b.StepUntil([&] { return b.BothUp() && b.user.link->full_state().vs == 0; }, 30000));
  ASSERT_TRUE(b.Exchange(10, 10000));
  ExpectInOrder(b.network.owner.messages, 0x05, 10);
}

}  // namespace
