// The network side of a BRI bus against scripted terminals. Terminals send
// commands with C/R 0 and responses with C/R 1; the network the opposite.
#include "signalling/LAPDNT.h"

#include "tests/signalling/LapdNtFixture.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using namespace lapd_test;
using Frames = std::vector<Bytes>;

Bytes Address(bool cr, unsigned tei, Bytes rest) {
  rest.insert(rest.begin(), {static_cast<uint8_t>(cr ? 0x02 : 0x00), static_cast<uint8_t>(tei << 1 | 1)});
  return rest;
}
Bytes WithInfo(Bytes head, const Bytes& l3) {
  head.insert(head.end(), l3.begin(), l3.end());
  return head;
}
// Frames of the terminal with TEI 64, and of the network to it.
Bytes TermI(unsigned ns, unsigned nr, const Bytes& l3) {
  return Address(false, 64, WithInfo({static_cast<uint8_t>(ns << 1), static_cast<uint8_t>(nr << 1)}, l3));
}
Bytes TermS(uint8_t code, unsigned nr, bool f) {
  return Address(true, 64, {code, static_cast<uint8_t>(nr << 1 | (f ? 1 : 0))});
}
Bytes NetI(unsigned ns, unsigned nr, const Bytes& l3) {
  return Address(true, 64, WithInfo({static_cast<uint8_t>(ns << 1), static_cast<uint8_t>(nr << 1 | 1)}, l3));
}
Bytes NetRr(unsigned nr, bool command, bool pf) {
  return Address(command, 64, {0x01, static_cast<uint8_t>(nr << 1 | (pf ? 1 : 0))});
}
const Bytes kSabme64 = Address(true, 64, {0x7F});
const Bytes kUa64 = Address(true, 64, {0x73});
Frames Removes(unsigned tei) {
  return {TeiFrame(true, 0, 6, tei), TeiFrame(true, 0, 6, tei)};
}

// The network side with the loop clock frozen; one per scenario.
struct Bench {
  void Advance(uint64_t ms) {
    clock.Advance(ms);
    control_test::RunPasses(2);
  }
  // A terminal asks for a TEI and answers the SABME that follows.
  unsigned Attach(uint16_t ri) {
    nt.end.Inject(TeiFrame(false, ri, 1, 127));
    const Frames sent = nt.TakeSent();
    const unsigned tei = sent.at(0)[7] >> 1;
    EXPECT_EQ(sent, (Frames{TeiFrame(true, ri, 2, tei), Address(true, tei, {0x7F})}));
    nt.end.Inject(Address(true, tei, {0x73}));
    return tei;
  }

  control_test::FrozenClock clock;
  control_test::Logs logs;
  NtSide nt;
};

class LAPDNTTest : public ::testing::Test, public Bench {};

TEST_F(LAPDNTTest, AssignsChecksTwiceAndReusesOnlyRemovedTeis) {
  // A request naming a TEI is ignored below the automatic range and denied within it.
  nt.end.Inject(TeiFrame(false, 0x4444, 1, 63));
  nt.end.Inject(TeiFrame(false, 0x4444, 1, 100));
  EXPECT_EQ(nt.TakeSent(), Frames{TeiFrame(true, 0x4444, 3, 100)});
  for (unsigned i = 0; i < 8; ++i) {
    EXPECT_EQ(Attach(static_cast<uint16_t>(0x1000 + i)), 64 + i);
  }
  nt.end.Inject(TeiFrame(false, 0x9999, 1, 127));
  EXPECT_EQ(nt.TakeSent(), Frames{TeiFrame(true, 0x9999, 3, 127)});

  nt.link->local_activate();
  EXPECT_EQ(nt.TakeEvents(), std::vector<std::string>{"activated"});
  EXPECT_EQ(nt.TakeSent(), Frames{TeiFrame(true, 0, 4, 127)});
  for (unsigned i = 0; i < 5; ++i) {
    nt.end.Inject(TeiFrame(false, static_cast<uint16_t>(0x1000 + i), 5, 64 + i));
  }
  // TEI 69 does not answer but speaks; 70 answers only the second request; 71 is silent.
  nt.end.Inject(Address(true, 69, {0x01, 0x00}));
  nt.TakeSent();
  Advance(1000);
  EXPECT_EQ(nt.TakeSent(), Frames{TeiFrame(true, 0, 4, 127)});
  nt.end.Inject(TeiFrame(false, 0x1006, 5, 70));
  Advance(1000);
  EXPECT_EQ(nt.TakeSent(), Removes(71));
  EXPECT_NE(nt.link->find_Tei(69), nullptr);
  EXPECT_NE(nt.link->find_Tei(70), nullptr);
  EXPECT_EQ(nt.link->find_Tei(71), nullptr);
  EXPECT_EQ(Attach(0x7777), 71u);

  // A second terminal answering for TEI 64 with another reference: both lose it.
  nt.end.Inject(TeiFrame(false, 0xDEAD, 5, 64));
  EXPECT_EQ(nt.TakeSent(), Removes(64));
  EXPECT_EQ(nt.link->find_Tei(64), nullptr);
}

TEST_F(LAPDNTTest, BroadcastsSetupRoutesByCallReferenceAndAdoptsUnknownTeis) {
  ASSERT_EQ(Attach(1), 64u);
  ASSERT_EQ(Attach(2), 65u);
  const Bytes setup = Q931On(0x01, 0x05, 0);
  nt.Send(setup);
  EXPECT_EQ(nt.TakeSent(), Frames{WithInfo({0x02, 0xFF, 0x03}, setup)});

  const Bytes alerting = Q931On(0x81, 0x01, 0);
  nt.end.Inject(TermI(0, 0, alerting));
  EXPECT_EQ(nt.messages, Frames{alerting});
  EXPECT_EQ(nt.TakeSent(), Frames{NetRr(1, false, false)});
  nt.Send(Q931On(0x01, 0x07, 1));
  EXPECT_EQ(nt.TakeSent(), Frames{NetI(0, 1, Q931On(0x01, 0x07, 1))});
  nt.Send(Q931On(0x05, 0x07, 2));
  EXPECT_EQ(nt.TakeSent(), Frames{});

  // A frame from TEI 70, which nobody was given: the link to it is set up first.
  nt.end.Inject(Address(false, 70, {0x01, 0x01}));
  const Frames sent = nt.TakeSent();
  ASSERT_FALSE(sent.empty());
  EXPECT_EQ(sent[0], Address(true, 70, {0x7F}));
  EXPECT_NE(nt.link->find_Tei(70), nullptr);
}

// An in-sequence message is acknowledged before its N(R) is looked at: it
// goes up even when that N(R) makes the entry set the link up again.
TEST_F(LAPDNTTest, AcknowledgedMessageGoesUpWhateverItsNr) {
  ASSERT_EQ(Attach(1), 64u);
  const Bytes alerting = Q931On(0x81, 0x01, 0);
  nt.end.Inject(Address(false, 64, WithInfo({0x00, 5 << 1 | 1}, alerting)));
  EXPECT_EQ(nt.TakeSent(), (Frames{NetRr(1, false, true), kSabme64}));
  EXPECT_EQ(nt.messages, Frames{alerting});
}

TEST_F(LAPDNTTest, TracesTheAcknowledgements) {
  ASSERT_EQ(Attach(1), 64u);
  nt.link->set_log(2);
  nt.end.Inject(TermS(0x01, 0, false));
  EXPECT_NE(logs.Log().find("LAPD_user(NT BRI)[Tei=64,assigned] ack queue\n"), std::string::npos) << logs.Log();
}

TEST(LAPDNT, DataLinkOfOneTerminal) {
  const Bytes m0 = Q931On(0x01, 0x07, 0);
  const Bytes m1 = Q931On(0x01, 0x07, 1);
  const Bytes m2 = Q931On(0x01, 0x07, 2);
  const Bytes m3 = Q931On(0x01, 0x07, 3);
  const struct {
    const char* name;
    std::function<void(Bench&)> act;
    Frames sent;
    bool keeps_tei;
  } kCases[] = {
      {"a resent frame carries the N(R) of now",
       [&](Bench& t) {
         t.nt.Send(m0);
         t.nt.Send(m1);
         t.nt.TakeSent();
         t.nt.end.Inject(TermI(1, 0, Q931On(0x81, 0x01, 1)));
         t.Advance(1000);
       },
       {NetRr(2, false, false), NetI(0, 2, m0), NetI(1, 2, m1)},
       true},
      {"at most seven unacknowledged",
       [&](Bench& t) {
         for (unsigned i = 0; i < 10; ++i) {
           t.nt.Send(Q931On(0x01, 0x07, i));
         }
         ASSERT_EQ(t.nt.TakeSent().size(), 7u);
         t.nt.end.Inject(TermS(0x01, 3, false));
       },
       {NetI(7, 1, Q931On(0x01, 0x07, 7)), NetI(8, 1, Q931On(0x01, 0x07, 8)), NetI(9, 1, Q931On(0x01, 0x07, 9))},
       true},
      {"REJ acknowledges before N(R) and resends from it",
       [&](Bench& t) {
         for (const Bytes& m : {m0, m1, m2, m3}) {
           t.nt.Send(m);
         }
         t.nt.TakeSent();
         t.nt.end.Inject(TermS(0x09, 2, false));
       },
       {NetI(2, 1, m2), NetI(3, 1, m3)},
       true},
      {"in recovery, an answer leaving frames outstanding resends from N(R)",
       [&](Bench& t) {
         t.nt.Send(m0);
         t.nt.Send(m1);
         t.nt.TakeSent();
         t.Advance(1000);
         t.nt.end.Inject(TermS(0x01, 1, true));
       },
       {NetI(0, 1, m0), NetI(1, 1, m1), NetI(1, 1, m1)},
       true},
      {"an N(R) outside the window sets the link up again",
       [&](Bench& t) { t.nt.end.Inject(TermS(0x01, 5, false)); },
       {kSabme64},
       true},
      {"DISC releases the link and keeps the TEI",
       [&](Bench& t) {
         t.nt.end.Inject(Address(false, 64, {0x53}));
         t.nt.Send(m0);
         t.nt.end.Inject(kUa64);
       },
       {Address(false, 64, {0x73}), kSabme64, NetI(0, 0, m0)},
       true},
      {"a silent terminal is polled and freed",
       [&](Bench& t) {
         for (unsigned ms : {10000, 1000, 1000, 1000, 1000}) {
           t.Advance(ms);
         }
       },
       {NetRr(1, true, true), NetRr(1, true, true), NetRr(1, true, true), NetRr(1, true, true), Removes(64)[0],
        Removes(64)[1]},
       false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    Bench t;
    ASSERT_EQ(t.Attach(1), 64u);
    t.nt.end.Inject(TermI(0, 0, Q931On(0x81, 0x01, 0)));
    t.nt.TakeSent();
    c.act(t);
    EXPECT_EQ(t.nt.TakeSent(), c.sent);
    EXPECT_EQ(t.nt.link->find_Tei(64) != nullptr, c.keeps_tei);
    if (c.keeps_tei) {
      EXPECT_LE(t.nt.link->find_Tei(64)->outstanding(), ISDN::LAPD_NT_user::kWindow);
    }
  }
}

}  // namespace
