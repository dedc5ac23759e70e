// Two user-side terminals and the network side on one simulated BRI bus.
#include "signalling/LAPD.h"
#include "signalling/LAPDNT.h"

#include "hardware/HDLC.h"
#include "hardware/HwMux.h"
#include "platform/Clock.h"
#include "platform/sim/Board.h"
#include "platform/sim/MccDriver.h"

#include "tests/signalling/LapdNtFixture.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace lapd_test;
using test_support::HdlcEnd;

void ExpectInOrder(const std::vector<Bytes>& got, uint8_t cr, unsigned count) {
  ASSERT_EQ(got.size(), count);
  for (unsigned i = 0; i < count; ++i) {
    ASSERT_EQ(got[i], Q931On(cr, 0x7B, i)) << "message " << i;
  }
}

TEST(LAPDNTBus, TwoTerminalsGetTeisCallsAndTraffic) {
  Bus bus;
  bus.nt.link->local_activate();
  bus.a.link->local_activate();
  bus.Step(10);
  bus.b.link->local_activate();
  ASSERT_TRUE(bus.StepUntil([&] { return Bus::Up(bus.a) && Bus::Up(bus.b); }, 10000));
  EXPECT_EQ(bus.a.link->full_state().own_tei, 64u);
  EXPECT_EQ(bus.b.link->full_state().own_tei, 65u);

  // A SETUP reaches both; each terminal's answer routes its call back to it.
  const Bytes setup = Q931On(0x01, 0x05, 0);
  bus.nt.Send(setup);
  bus.Step(10);
  EXPECT_EQ(bus.a.owner.messages, std::vector<Bytes>{setup});
  EXPECT_EQ(bus.b.owner.messages, std::vector<Bytes>{setup});
  bus.a.Send(Q931On(0x81, 0x01, 0));
  bus.b.Send(Q931On(0x02, 0x05, 0));
  bus.Step(10);
  ASSERT_EQ(bus.nt.messages.size(), 2u);
  bus.nt.Send(Q931On(0x01, 0x07, 1));
  bus.nt.Send(Q931On(0x82, 0x02, 1));
  bus.Step(10);
  EXPECT_EQ(bus.a.owner.messages.back(), Q931On(0x01, 0x07, 1));
  EXPECT_EQ(bus.b.owner.messages.back(), Q931On(0x82, 0x02, 1));

  bus.nt.messages.clear();
  bus.a.owner.messages.clear();
  bus.b.owner.messages.clear();
  bus.nt.end.line.impairments.drop_every = 11;
  bus.a.end.line.impairments.drop_every = 13;
  bus.b.end.line.impairments.drop_every = 7;
  ASSERT_TRUE(bus.Exchange(200, 600000));
  ExpectInOrder(Bus::OnCall(bus.nt.messages, 1), 0x81, 200);
  ExpectInOrder(Bus::OnCall(bus.nt.messages, 2), 0x82, 200);
  ExpectInOrder(bus.a.owner.messages, 0x01, 200);
  ExpectInOrder(bus.b.owner.messages, 0x02, 200);
}

TEST(LAPDNTBus, TerminalCutFromTheBusLosesItsTeiAndComesBack) {
  Bus bus;
  bus.nt.link->local_activate();
  bus.a.link->local_activate();
  bus.b.link->local_activate();
  ASSERT_TRUE(bus.StepUntil([&] { return Bus::Up(bus.a) && Bus::Up(bus.b); }, 10000));
  const unsigned tei_a = bus.a.link->full_state().own_tei;
  const unsigned tei_b = bus.b.link->full_state().own_tei;
  const ISDN::LAPD_NT_user* entry_a = bus.nt.link->find_Tei(tei_a);

  HdlcEnd::Part(bus.nt.end, bus.b.end);
  bus.nt.link->check_all_Tei();
  bus.StepUntil([] { return false; }, 2010);
  EXPECT_EQ(bus.nt.link->find_Tei(tei_b), nullptr);
  EXPECT_EQ(bus.nt.link->find_Tei(tei_a), entry_a);
  EXPECT_EQ(entry_a->link(), ISDN::LAPD_NT_user::Link::kUp);
  EXPECT_TRUE(Bus::Up(bus.a));

  // Back on the bus, the terminal is taken in again and carries its call.
  HdlcEnd::Join(bus.nt.end, bus.b.end);
  ASSERT_TRUE(bus.StepUntil(
      [&] {
        const auto* entry = bus.nt.link->find_Tei(bus.b.link->full_state().own_tei);
        return entry != nullptr && entry->link() == ISDN::LAPD_NT_user::Link::kUp && Bus::Up(bus.b);
      },
      120000));
  // Each terminal's answer opens its call again on the network side.
  bus.a.Send(Q931On(0x81, 0x01, 0));
  bus.b.Send(Q931On(0x82, 0x01, 0));
  bus.Step(10);
  bus.nt.messages.clear();
  ASSERT_TRUE(bus.Exchange(10, 60000));
  ExpectInOrder(Bus::OnCall(bus.nt.messages, 2), 0x82, 10);
  EXPECT_EQ(bus.nt.link->find_Tei(tei_a), entry_a);
}

// A terminal on an MCC channel of the simulated board, bound to a line timeslot.
struct BoardTerminal {
  explicit BoardTerminal(int line) : link(new LAPD(ISDN::Side::user, 0)), owner(link) {
    hdlc.rx_channel = line;
    hdlc.mode = HDLC::kModeData;
    hdlc.notify = link;
    link->hdlc = &hdlc;
    link->change_to_bri();
    link->mdl_remove();
  }
  HDLC hdlc;
  LAPD* link;  // owned by owner
  test_support::LinkOwner owner;
};

TEST(LAPDNTBus, OnTheSimulatedBoard) {
  // No board reset (the switch singleton keeps its descriptor); lines 41 to 44 are this test's own.
  platform::clock_control::SkipSleeps(true);
  control_test::FrozenClock clock;
  control_test::Logs logs;
  (void)HwMux::instance();
  auto* mcc = sim::Board::instance().Find<sim::MccDriver>(sim::MccDriver::kPath);
  ASSERT_NE(mcc, nullptr);
  ASSERT_TRUE(mcc->AttachToBus(41, 42));
  ASSERT_TRUE(mcc->AttachToBus(41, 43));
  EXPECT_FALSE(mcc->JoinLines(41, 44));
  EXPECT_FALSE(mcc->AttachToBus(42, 44));
  NtOn<HDLC> nt;
  nt.end.rx_channel = 41;
  nt.end.mode = HDLC::kModeData;
  BoardTerminal a(42);
  BoardTerminal b(43);
  ASSERT_TRUE(nt.end.activate() && a.hdlc.activate() && b.hdlc.activate());
  nt.link->local_activate();
  a.link->local_activate();
  b.link->local_activate();
  const auto step_until = [&](auto done) {
    for (int ms = 0; ms < 10000 && !done(); ms += 10) {
      clock.Advance(10);
      control_test::RunPasses(3);
    }
    return done();
  };
  ASSERT_TRUE(step_until([&] {
    return a.link->full_state().state == LAPD::kMultipleFrameEstablished &&
           b.link->full_state().state == LAPD::kMultipleFrameEstablished;
  }));
  EXPECT_NE(a.link->full_state().own_tei, b.link->full_state().own_tei);

  const Bytes setup = Q931On(0x01, 0x05, 0);
  nt.Send(setup);
  Packet answer = PacketOf(Q931On(0x81, 0x01, 0));
  ASSERT_TRUE(step_until([&] { return a.owner.messages.size() == 1 && b.owner.messages.size() == 1; }));
  b.link->message(answer);
  ASSERT_TRUE(step_until([&] { return nt.messages.size() == 1; }));
  nt.Send(Q931On(0x01, 0x07, 1));
  ASSERT_TRUE(step_until([&] { return b.owner.messages.size() == 2; }));
  EXPECT_EQ(b.owner.messages.back(), Q931On(0x01, 0x07, 1));
  EXPECT_EQ(a.owner.messages.size(), 1u);
  platform::clock_control::SkipSleeps(false);
}

}  // namespace
