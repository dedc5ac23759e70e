// The user side of LAPD against a scripted network peer. Frames from the
// network: commands carry C/R 1 (octet 1 0x02), responses C/R 0 (0x00).
#include "signalling/LAPD.h"

#include "tests/signalling/LapdFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace lapd_test;
using Events = std::vector<std::string>;

Bytes Command(Bytes rest) {
  rest.insert(rest.begin(), {0x02, 0x01});
  return rest;
}
Bytes Response(Bytes rest) {
  rest.insert(rest.begin(), {0x00, 0x01});
  return rest;
}
// The user's frames: commands C/R 0, responses C/R 1.
const Bytes kSabme = {0x00, 0x01, 0x7F};
const Bytes kDisc = {0x00, 0x01, 0x53};
const Bytes kUaFinal = {0x02, 0x01, 0x73};
Bytes UserRr(unsigned nr, bool command, bool pf) {
  return {static_cast<uint8_t>(command ? 0x00 : 0x02), 0x01, 0x01, static_cast<uint8_t>(nr << 1 | (pf ? 1 : 0))};
}
Bytes PeerRr(unsigned nr, bool pf) {
  return Response({0x01, static_cast<uint8_t>(nr << 1 | (pf ? 1 : 0))});
}

class LAPDTest : public ::testing::Test {
 public:
  LAPDTest() : user(ISDN::Side::user) {}

  void Advance(uint64_t ms) {
    clock.Advance(ms);
    control_test::RunPasses(2);
  }
  void Establish() {
    user.link->local_activate();
    ASSERT_EQ(user.TakeSent(), std::vector<Bytes>{kSabme});
    user.end.Inject(Response({0x73}));
    ASSERT_EQ(user.link->full_state().state, LAPD::kMultipleFrameEstablished);
    ASSERT_EQ(user.owner.TakeEvents(), Events{"activated"});
  }
  uint32_t State() const { return user.link->full_state().state; }

  control_test::FrozenClock clock;
  control_test::Logs logs;
  Side user;
};

TEST_F(LAPDTest, SendsWithinAWindowOfSeven) {
  Establish();
  for (unsigned i = 0; i < 10; ++i) {
    user.Send(Q931(0x05, i));
  }
  std::vector<Bytes> sent = user.TakeSent();
  ASSERT_EQ(sent.size(), 7u);
  for (unsigned i = 0; i < 7; ++i) {
    Bytes expected = {0x00, 0x01, static_cast<uint8_t>(i << 1), 0x00};
    const Bytes message = Q931(0x05, i);
    expected.insert(expected.end(), message.begin(), message.end());
    EXPECT_EQ(sent[i], expected);
  }
  EXPECT_EQ(user.link->ack_count(), 7u);
  user.end.Inject(PeerRr(3, false));
  sent = user.TakeSent();
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[0][2], 7 << 1);
  EXPECT_EQ(user.link->out_count(), 0u);
  EXPECT_EQ(user.link->ack_count(), 7u);
}

TEST_F(LAPDTest, OutQueueLimitAndFlowThresholds) {
  for (unsigned i = 0; i < 129; ++i) {
    user.Send(Q931(0x7B, i));
  }
  EXPECT_EQ(user.link->out_count(), 128u);
  EXPECT_EQ(user.link->stats().out_overflows, 1u);
  EXPECT_EQ(user.link->stats().tx, 129u);
  EXPECT_EQ(user.flow.flows, std::vector<LAPD::FlowStatus::Type>{LAPD::FlowStatus::busy});
  Establish();
  for (int round = 0; round < 30 && user.link->out_count() + user.link->ack_count() > 0; ++round) {
    user.end.Inject(PeerRr(user.link->full_state().vs, false));
  }
  EXPECT_EQ(user.link->full_state().vs, 128u % 128) << user.link->out_count() << " " << user.link->ack_count();
  EXPECT_EQ(user.flow.flows, (std::vector<LAPD::FlowStatus::Type>{LAPD::FlowStatus::busy, LAPD::FlowStatus::normal}));
}

TEST_F(LAPDTest, ReleasesAndRecoveries) {
  const struct {
    const char* name;
    bool established;
    std::function<void(LAPDTest&)> act;
    std::vector<Bytes> sent;
    Events events;
    uint32_t state;
  } kCases[] = {
      {"DISC in state 6",
       true,
       [](LAPDTest& t) { t.user.end.Inject(Command({0x53})); },
       {kUaFinal},
       {"deactivated remote error (DISC received)"},
       LAPD::kTeiAssigned},
      {"peer SABME in state 6",
       true,
       [](LAPDTest& t) { t.user.end.Inject(Command({0x7F})); },
       {kUaFinal},
       {"status Peer initiated re-establishment - SABME", "activated"},
       LAPD::kMultipleFrameEstablished},
      {"no answer to SABME",
       false,
       [](LAPDTest& t) {
         t.user.link->local_activate();
         for (int i = 0; i < 4; ++i) {
           t.Advance(1000);
         }
       },
       {kSabme, kSabme, kSabme, kSabme},
       {"status Unsuccessful retransmission (N200 times) - SABME", "deactivated link error (T200 expired N200 times)"},
       LAPD::kTeiAssigned},
      {"DL-RELEASE answered by UA",
       true,
       [](LAPDTest& t) {
         t.user.link->local_deactivate();
         t.user.end.Inject(Response({0x73}));
       },
       {kDisc},
       {"deactivated success (UA received)"},
       LAPD::kTeiAssigned},
      {"DL-RELEASE in state 4 reports at once",
       false,
       [](LAPDTest& t) {
         t.user.link->local_activate();
         t.user.link->local_deactivate();
         t.Advance(1000);
       },
       {kSabme, kDisc},
       {"deactivated success (deactivated locally)"},
       LAPD::kTeiAssigned},
      {"DM F=1 to SABME",
       false,
       [](LAPDTest& t) {
         t.user.link->local_activate();
         t.user.end.Inject(Response({0x1F}));
       },
       {kSabme},
       {"deactivated error (DM received)"},
       LAPD::kTeiAssigned},
      {"no answer to the enquiry",
       true,
       [](LAPDTest& t) {
         for (int i = 0; i < 4; ++i) {
           t.Advance(1000);
         }
       },
       {UserRr(0, true, true), UserRr(0, true, true), UserRr(0, true, true), kSabme},
       {"status Unsuccessful retransmission (N200 times) - Status enquiry"},
       LAPD::kAwaitingEstablishment},
      {"N(R) outside the window",
       true,
       [](LAPDTest& t) { t.user.end.Inject(PeerRr(5, false)); },
       {kSabme},
       {"status Other - N(R) error"},
       LAPD::kAwaitingEstablishment},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    user.link->mdl_assign(0);
    if (c.established) {
      Establish();
      // One sent and unacknowledged, one waiting.
      user.Send(Q931(0x05, 1));
    }
    user.TakeSent();
    c.act(*this);
    EXPECT_EQ(user.TakeSent(), c.sent);
    EXPECT_EQ(user.owner.TakeEvents(), c.events);
    EXPECT_EQ(State(), c.state);
    // Back to a quiet state 3 for the next row.
    user.link->mdl_remove();
    user.owner.TakeEvents();
    Advance(20000);
    user.TakeSent();
  }
}

TEST_F(LAPDTest, AcknowledgesAtOnceWithPollAndLaterWithout) {
  Establish();
  user.end.Inject(Command({0x00, 0x01, 0x08, 0x01, 0x00, 0x05}));
  EXPECT_EQ(user.TakeSent(), std::vector<Bytes>{UserRr(1, false, true)});
  user.end.Inject(Command({0x02, 0x00, 0x08, 0x01, 0x00, 0x01}));
  EXPECT_EQ(user.TakeSent(), std::vector<Bytes>{UserRr(2, false, false)});
  // Out of sequence: one REJ, then only a poll is answered.
  user.end.Inject(Command({0x08, 0x00, 0x08}));
  user.end.Inject(Command({0x08, 0x01, 0x08}));
  const Bytes rej = {0x02, 0x01, 0x09, 0x04};
  EXPECT_EQ(user.TakeSent(), (std::vector<Bytes>{rej, UserRr(2, false, true)}));
  EXPECT_EQ(user.owner.messages.size(), 2u);
  EXPECT_EQ(user.link->stats().rx, 2u);
  EXPECT_EQ(user.link->stats().rejected, 2u);
}

TEST_F(LAPDTest, GetInfoReportsChangesAndTheRealSide) {
  ACP::IsdnLinkInfo info;
  EXPECT_TRUE(user.link->GetInfo(info));
  EXPECT_FALSE(user.link->GetInfo(info));
  Establish();
  EXPECT_TRUE(user.link->GetInfo(info));
  EXPECT_EQ(info.get_lapdState().getValue(), ACP::LAPDState::multiple_frame_established);
  EXPECT_EQ(info.get_side().getValue(), ACP::IsdnSide::user);

  Side network(ISDN::Side::network);
  EXPECT_TRUE(network.link->GetInfo(info));
  EXPECT_EQ(info.get_side().getValue(), ACP::IsdnSide::network);
}

TEST_F(LAPDTest, InvalidFramesAreCountedAndDropped) {
  Establish();
  const struct {
    const char* name;
    Bytes frame;
    bool invalid;
  } kCases[] = {
      {"one octet", {0x02}, true},
      {"two octets", {0x02, 0x01}, true},
      {"S frame of 3 octets", Command({0x01}), true},
      {"I frame of 3 octets", Command({0x00}), true},
      {"EA set in octet 1", {0x03, 0x01, 0x7F}, true},
      {"EA clear in octet 2", {0x02, 0x00, 0x7F}, true},
      {"foreign SAPI", {0x16, 0x01, 0x01, 0x00}, true},
      {"SAPI 63 not UI", {0xFE, 0x01, 0x01, 0x00}, true},
      {"SAPI 63 UI on PRI", {0xFE, 0xFF, 0x03, 0x0F, 0, 0, 4, 0xFF}, false},
      {"XID", Command({0xAF}), false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const uint32_t errors = user.link->stats().errors;
    user.end.Inject(c.frame);
    EXPECT_EQ(user.link->stats().errors, errors + (c.invalid ? 1 : 0));
    EXPECT_EQ(State(), LAPD::kMultipleFrameEstablished);
    EXPECT_TRUE(user.TakeSent().empty());
  }
  EXPECT_TRUE(user.owner.TakeEvents().empty());
}

TEST_F(LAPDTest, DeadChannelReleasesAndEmptiesTheQueues) {
  Establish();
  for (unsigned i = 0; i < 9; ++i) {
    user.Send(Q931(0x05, i));
  }
  user.end.Die();
  EXPECT_EQ(user.owner.TakeEvents(), Events{"deactivated error (HDLC failure)"});
  EXPECT_EQ(State(), LAPD::kTeiAssigned);
  EXPECT_EQ(user.link->out_count() + user.link->ack_count(), 0u);
  EXPECT_FALSE(user.link->timer_pending());
}

TEST_F(LAPDTest, WriteErrorLosesTheFrameAndPushBackKeepsIt) {
  Establish();
  user.end.FailNext(1);
  user.Send(Q931(0x05, 1));
  EXPECT_TRUE(user.TakeSent().empty());
  EXPECT_EQ(user.link->stats().errors, 1u);
  EXPECT_EQ(user.link->ack_count(), 1u);
  // T200: enquiry, the peer answers with N(R) 0, the frame goes again.
  Advance(1000);
  EXPECT_EQ(user.TakeSent(), std::vector<Bytes>{UserRr(0, true, true)});
  user.end.Inject(PeerRr(0, true));
  std::vector<Bytes> sent = user.TakeSent();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0][2], 0);

  user.end.RefuseNext(1);
  user.Send(Q931(0x05, 2));
  EXPECT_TRUE(user.TakeSent().empty());
  EXPECT_EQ(user.link->out_count(), 1u);
  control_test::RunPasses(2);
  EXPECT_EQ(user.TakeSent().size(), 1u);
  EXPECT_EQ(user.link->stats().errors, 1u);
}

// A response the channel pushed back goes out once the channel takes frames
// again, ahead of any I frame: the peer would drop what comes before it.
TEST_F(LAPDTest, RefusedResponseGoesOutFirstOnceTheChannelTakesFrames) {
  user.end.RefuseNext(1);
  user.end.Inject(Command({0x7F}));
  EXPECT_TRUE(user.TakeSent().empty());
  EXPECT_EQ(State(), LAPD::kMultipleFrameEstablished);
  user.Send(Q931(0x05, 0));
  std::vector<Bytes> sent = user.TakeSent();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0], kUaFinal);
  EXPECT_EQ(sent[1][2], 0x00);

  // A poll answered while the channel is full: the answer follows on readiness.
  user.end.RefuseNext(1);
  user.end.Inject(Command({0x00, 0x03, 0x08, 0x01, 0x00, 0x01}));
  EXPECT_TRUE(user.TakeSent().empty());
  control_test::RunPasses(2);
  EXPECT_EQ(user.TakeSent(), std::vector<Bytes>{UserRr(1, false, true)});
  EXPECT_EQ(user.owner.messages.size(), 1u);
}

// A plain acknowledgement the channel pushed back is not kept: it stays asked
// for, so the next I frame carries it with no RR ahead, or else an RR goes
// once the channel takes frames.
TEST_F(LAPDTest, RefusedAcknowledgementStaysAskedFor) {
  Establish();
  user.end.RefuseNext(1);
  user.end.Inject(Command({0x00, 0x00, 0x08, 0x01, 0x00, 0x01}));
  EXPECT_TRUE(user.TakeSent().empty());
  EXPECT_TRUE(user.link->full_state().acknowledge_request);
  user.Send(Q931(0x05, 0));
  std::vector<Bytes> sent = user.TakeSent();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0][2], 0x00);
  EXPECT_EQ(sent[0][3], 1 << 1);
  EXPECT_FALSE(user.link->full_state().acknowledge_request);

  user.end.RefuseNext(1);
  user.end.Inject(Command({0x02, 0x02, 0x08, 0x01, 0x00, 0x01}));
  EXPECT_TRUE(user.TakeSent().empty());
  control_test::RunPasses(2);
  EXPECT_EQ(user.TakeSent(), std::vector<Bytes>{UserRr(2, false, false)});
  EXPECT_EQ(user.link->stats().errors, 0u);
}

// A UA that answers nothing is a management error and changes nothing: the
// unacknowledged messages stay and the peer's acknowledgement still fits.
TEST_F(LAPDTest, StrayUaKeepsTheLinkAsItIs) {
  user.link->trace_level = 1;
  for (const bool recovering : {false, true}) {
    SCOPED_TRACE(recovering ? "timer recovery" : "established");
    user.link->mdl_assign(0);
    Establish();
    for (unsigned i = 0; i < 3; ++i) {
      user.Send(Q931(0x05, i));
    }
    if (recovering) {
      Advance(1000);
    }
    const uint32_t state = State();
    user.TakeSent();
    user.end.Inject(Response({0x73}));
    EXPECT_EQ(user.owner.TakeEvents(), Events{"status Other - Unknown"});
    EXPECT_NE(logs.Log().find("unsolicited UA"), std::string::npos);
    EXPECT_EQ(State(), state);
    EXPECT_EQ(user.link->full_state().vs, 3u);
    EXPECT_EQ(user.link->ack_count(), 3u);
    user.end.Inject(PeerRr(3, recovering));
    EXPECT_EQ(user.link->ack_count(), 0u);
    EXPECT_EQ(State(), LAPD::kMultipleFrameEstablished);
    EXPECT_TRUE(user.owner.TakeEvents().empty());
    user.link->mdl_remove();
    user.owner.TakeEvents();
    Advance(20000);
    user.TakeSent();
  }
}

TEST_F(LAPDTest, TextsOfStateTraceAndNames) {
  EXPECT_STREQ(ISDN::statetext(8), "(unknown)");
  user.link->trunk = 2;
  user.link->trace_level = 3;
  user.link->local_activate();
  const std::string log = logs.Log();
  EXPECT_NE(log.find("LAPD[2] (TEI assigned): DL-ESTABLISH\n"), std::string::npos) << log;
  EXPECT_NE(log.find("LAPD[2] (TEI assigned): tx:  00 01 7F\nframe user->network SFrame"), std::string::npos) << log;
  EXPECT_NE(log.find("LAPD[2] : change state \"TEI assigned\" -> \"Awaiting establishment\"\n"), std::string::npos);
  user.end.Inject(Response({0x73}));
  EXPECT_NE(logs.Log().find("rx: 00 01 73\nframe network->user SFrame"), std::string::npos);
  user.link->mdl_remove();
  user.owner.TakeEvents();
  user.link->mdl_assign(0);
  std::ostringstream text;
  user.link->status()->out(text);
  EXPECT_NE(text.str().find("current status\n   - state: TEI assigned\n"), std::string::npos);
  EXPECT_NE(text.str().find("   - timers: T200 stopped, T202 stopped, T203 stopped"), std::string::npos);
}

// ---- TEI management on a BRI user side; the network answers with octet 1 0xFE.

Bytes TeiFrame(uint16_t ri, uint8_t type, unsigned ai) {
  return {0xFE,
          0xFF,
          0x03,
          0x0F,
          static_cast<uint8_t>(ri),
          static_cast<uint8_t>(ri >> 8),
          type,
          static_cast<uint8_t>(ai << 1 | 1)};
}
Bytes UserTeiFrame(uint16_t ri, uint8_t type, unsigned ai) {
  Bytes frame = TeiFrame(ri, type, ai);
  frame[0] = 0xFC;
  return frame;
}

class LAPDTeiTest : public LAPDTest {
 protected:
  LAPDTeiTest() { user.link->change_to_bri(); }
  // From state 0, a DL-DATA request asks for a TEI.
  void Request() {
    user.link->mdl_remove();
    user.Send(Q931(0x05, 1));
    ASSERT_EQ(State(), LAPD::kAssignAwaitingTei);
    ASSERT_EQ(user.TakeSent(), std::vector<Bytes>{UserTeiFrame(user.link->ri(), 1, 127)});
    ASSERT_TRUE(user.link->full_state().t202_running);
  }
};

TEST_F(LAPDTeiTest, GivesUpAfterFiveRequests) {
  Request();
  for (int i = 0; i < 4; ++i) {
    Advance(2000);
    EXPECT_EQ(user.TakeSent(), std::vector<Bytes>{UserTeiFrame(user.link->ri(), 1, 127)});
  }
  Advance(2000);
  EXPECT_TRUE(user.TakeSent().empty());
  EXPECT_EQ(user.owner.TakeEvents(), Events{"deactivated link error (T202 expired N202 times)"});
  EXPECT_EQ(State(), LAPD::kTeiUnassigned);
  std::ostringstream counters;
  user.link->stats().out(counters);
  EXPECT_NE(counters.str().find("   - timers expire count: T200: 0, T202: 5, T203: 0\n"), std::string::npos);
}

TEST_F(LAPDTeiTest, AssignmentCheckAndRemove) {
  Request();
  const uint16_t ri = user.link->ri();
  user.end.Inject(TeiFrame(static_cast<uint16_t>(ri + 1), 2, 64));
  user.end.Inject(TeiFrame(ri, 2, 127));
  EXPECT_EQ(State(), LAPD::kAssignAwaitingTei);
  user.end.Inject(TeiFrame(ri, 2, 64));
  EXPECT_EQ(State(), LAPD::kTeiAssigned);
  EXPECT_EQ(user.link->full_state().own_tei, 64u);

  user.end.Inject(TeiFrame(0, 4, 127));
  EXPECT_EQ(user.TakeSent(), std::vector<Bytes>{UserTeiFrame(ri, 5, 64)});
  user.end.Inject(TeiFrame(0, 4, 65));
  EXPECT_TRUE(user.TakeSent().empty());

  // Frames for another TEI are not ours; ours and the group's are.
  user.link->local_activate();
  EXPECT_EQ(user.TakeSent(), (std::vector<Bytes>{{0x00, 0x81, 0x7F}}));
  user.end.Inject({0x00, 0xFD, 0x73});
  EXPECT_EQ(State(), LAPD::kAwaitingEstablishment);
  user.end.Inject({0x00, 0x81, 0x73});
  EXPECT_EQ(State(), LAPD::kMultipleFrameEstablished);
  user.TakeSent();
  user.owner.TakeEvents();

  user.end.Inject(TeiFrame(0, 6, 127));
  EXPECT_EQ(user.owner.TakeEvents(), Events{"deactivated error (MDL-REMOVE received)"});
  EXPECT_EQ(State(), LAPD::kAssignAwaitingTei);
  EXPECT_EQ(user.TakeSent(), std::vector<Bytes>{UserTeiFrame(user.link->ri(), 1, 127)});
}

TEST_F(LAPDTeiTest, EstablishRequestWaitsForTheTei) {
  user.link->mdl_remove();
  user.link->local_activate();
  EXPECT_EQ(State(), LAPD::kEstablishAwaitingTei);
  // The network's start-up remove restarts the request but keeps the establishment waiting.
  user.end.Inject(TeiFrame(0, 6, 127));
  EXPECT_EQ(State(), LAPD::kEstablishAwaitingTei);
  EXPECT_EQ(user.TakeSent().size(), 2u);
  user.end.Inject(TeiFrame(user.link->ri(), 2, 70));
  EXPECT_EQ(State(), LAPD::kAwaitingEstablishment);
  EXPECT_EQ(user.TakeSent(), (std::vector<Bytes>{{0x00, 0x8D, 0x7F}}));
  EXPECT_TRUE(user.link->full_state().t200_running);
}

// A response the channel pushed back goes only under the TEI it was made
// for: once that TEI is removed or replaced, another terminal may hold it.
TEST_F(LAPDTeiTest, KeptResponsesGoWithTheirTei) {
  const Bytes rr_on_64 = {0x02, 0x81, 0x01, 0x01};
  const struct {
    const char* name;
    std::function<void()> change;
    size_t sent;
  } kCases[] = {
      {"identity remove", [this] { user.end.Inject(TeiFrame(0, 6, 127)); }, 0},
      {"another TEI assigned", [this] { user.link->mdl_assign(65); }, 0},
      {"the same TEI assigned", [this] { user.link->mdl_assign(64); }, 1},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    user.link->mdl_assign(0);
    Request();
    user.end.Inject(TeiFrame(user.link->ri(), 2, 64));
    user.link->local_activate();
    user.end.Inject({0x00, 0x81, 0x73});
    ASSERT_EQ(State(), LAPD::kMultipleFrameEstablished);
    Advance(10);
    user.TakeSent();
    user.owner.TakeEvents();
    // A poll on TEI 64 while the channel is full: its answer waits.
    user.end.RefuseNext(1);
    user.end.Inject({0x02, 0x81, 0x01, 0x01});
    c.change();
    Advance(10);
    const std::vector<Bytes> sent = user.TakeSent();
    EXPECT_EQ(static_cast<size_t>(std::count(sent.begin(), sent.end(), rr_on_64)), c.sent);
    user.owner.TakeEvents();
  }
}

TEST_F(LAPDTeiTest, LinksDrawDifferentReferences) {
  Side other(ISDN::Side::user, true);
  Request();
  other.link->mdl_remove();
  other.Send(Q931(0x05, 1));
  EXPECT_NE(user.link->ri(), other.link->ri());
}

}  // namespace
