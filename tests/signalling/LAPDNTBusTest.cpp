// Two user-side terminals and the network side on one simulated BRI bus.
#include "signalling/LAPD.h"
#include "signalling/LAPDNT.h"

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

}  // namespace
