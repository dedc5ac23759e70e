#include "signalling/SLC.h"

#include "tests/signalling/SlcFixture.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

using namespace slc_test;

// MSU payloads numbered in their first two octets, of random sizes.
std::vector<Bytes> Payloads(unsigned count, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<unsigned> size(3, 120);
  std::vector<Bytes> payloads;
  for (unsigned i = 0; i < count; ++i) {
    Bytes payload(size(random), static_cast<uint8_t>(seed));
    payload[0] = static_cast<uint8_t>(i >> 8);
    payload[1] = static_cast<uint8_t>(i);
    payloads.push_back(payload);
  }
  return payloads;
}

void Feed(SS7::SLC& slc, const std::vector<Bytes>& payloads, size_t& next) {
  while (next < payloads.size() && slc.tb_count() < 20) {
    Packet packet = PacketOf(payloads[next++]);
    slc.message(packet);
  }
}

TEST(SLCBackToBack, CarriesEveryMsuOnceInOrderOverAnImpairedLine) {
  BackToBack link;
  ASSERT_TRUE(link.Align());
  EXPECT_EQ(link.a.owner.TakeEvents(), std::vector<std::string>{"activated"});
  link.a.end.line.impairments.drop_every = 13;
  link.b.end.line.impairments.drop_every = 13;
  link.b.end.line.impairments.duplicate_every = 7;
  link.a.end.delay_ms = 3;
  const std::vector<Bytes> to_b = Payloads(500, 1);
  const std::vector<Bytes> to_a = Payloads(500, 2);
  size_t next_to_b = 0;
  size_t next_to_a = 0;
  for (int step = 0; step < 20000 && (link.b.owner.messages.size() < 500 || link.a.owner.messages.size() < 500);
       ++step) {
    Feed(*link.a.slc, to_b, next_to_b);
    Feed(*link.b.slc, to_a, next_to_a);
    link.Step(1);
  }
  EXPECT_EQ(link.b.owner.messages, to_b);
  EXPECT_EQ(link.a.owner.messages, to_a);
  EXPECT_TRUE(link.BothWorked());
  EXPECT_GT(link.a.slc->statistics().repeat, 0u);
  EXPECT_GT(link.a.slc->statistics().badSeq, 0u);
}

TEST(SLCBackToBack, CutLineTimesOutAndRealignsAfterRestore) {
  BackToBack link;
  ASSERT_TRUE(link.Align());
  link.a.end.line.impairments.cut = true;
  link.b.end.line.impairments.cut = true;
  Packet packet = PacketOf({1, 2, 3});
  link.a.slc->message(packet);
  link.Step(11999);
  EXPECT_EQ(link.a.slc->get_state_id(), State::worked);
  link.Step(1);
  EXPECT_EQ(link.a.slc->get_state_id(), State::idle);
  link.a.owner.TakeEvents();
  // Restored, the far end hears the out-of-service fill and goes down too.
  link.a.end.line.impairments.cut = false;
  link.b.end.line.impairments.cut = false;
  link.Step(10);
  EXPECT_EQ(link.b.slc->get_state_id(), State::idle);
  ASSERT_TRUE(link.Align());
  EXPECT_EQ(link.a.owner.TakeEvents(), std::vector<std::string>{"activated"});
}

}  // namespace
