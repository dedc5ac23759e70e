#include "signalling/SLC.h"

#include "tests/signalling/SlcFixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace slc_test;
using SS7::SLC;

class SLCTest : public ::testing::Test, public LinkFixture {};

TEST_F(SLCTest, ReceivedUnitsByStateAndLength) {
  const Bytes five = {1, 2, 3, 4, 5};
  const struct {
    const char* name;
    State from;
    Bytes frame;
    State to;
    std::string error;  // on the error stream, "" for none
    Bytes delivered;    // payload that went up, in worked
  } kCases[] = {
      {"two octets are too short", State::idle, {0xFF, 0xFF}, State::idle, "length too small", {}},
      {"SIO in idle aligns", State::idle, Lssu(SLC::SIO), State::aligned, "", {}},
      {"SIN in idle proves", State::idle, Lssu(SLC::SIN), State::proving, "", {}},
      {"SIE in not aligned proves", State::not_aligned, Lssu(SLC::SIE), State::proving, "", {}},
      {"SIO in aligned stays", State::aligned, Lssu(SLC::SIO), State::aligned, "", {}},
      {"SIN in aligned proves", State::aligned, Lssu(SLC::SIN), State::proving, "", {}},
      {"five-octet LSSU in aligned", State::aligned, {0xFF, 0xFF, 2, SLC::SIE, 0}, State::proving, "", {}},
      {"SIN keeps proving", State::proving, Lssu(SLC::SIN), State::proving, "", {}},
      {"SIOS ends proving", State::proving, Lssu(SLC::SIOS), State::idle, "", {}},
      {"FISU ends proving", State::proving, Fisu(127, 1, 127, 1), State::worked, "", {}},
      {"MSU ends proving", State::proving, Msu(127, 1, 0, 1, five), State::worked, "", {}},
      {"SIO ends aligned ready", State::aligned_ready, Lssu(SLC::SIO), State::idle, "", {}},
      {"FISU in aligned ready", State::aligned_ready, Fisu(127, 1, 127, 1), State::worked, "", {}},
      {"LSSU in service", State::worked, Lssu(SLC::SIO), State::idle, "receive lssu: out of alignment", {}},
      {"unknown LSSU in service", State::worked, Lssu(9), State::idle, "receive lssu: unknown:9", {}},
      {"six octets are an MSU", State::worked, Msu(127, 1, 0, 1, {7, 8, 9}), State::worked, "", {7, 8, 9}},
      {"spare LI bits are ignored", State::worked, Encode({127, 1, 0, 1, 0xC5, five}), State::worked, "", five},
      {"long LI is trimmed", State::worked, Encode({127, 1, 0, 1, 5, {1, 2, 3, 4, 5, 6, 7}}), State::worked,
       "truncate 2 octet(s)", five},
      {"LI 63 is 63 or more", State::worked, Msu(127, 1, 0, 1, Bytes(70, 1)), State::worked, "", Bytes(70, 1)},
      {"long unit cannot be trimmed", State::worked, Encode({127, 1, 0, 1, 20, Bytes(70, 1)}), State::worked,
       "can't truncate signalling unit.", Bytes(70, 1)},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    slc->local_deactivate();
    DriveTo(c.from);
    logs.Clear();
    owner.messages.clear();
    end.Inject(c.frame);
    EXPECT_EQ(slc->get_state_id(), c.to);
    if (c.error.empty()) {
      EXPECT_EQ(logs.Err(), "");
    } else {
      EXPECT_NE(logs.Err().find(c.error), std::string::npos) << logs.Err();
    }
    if (!c.delivered.empty()) {
      EXPECT_EQ(owner.messages, std::vector<Bytes>{c.delivered});
    }
  }
}

TEST_F(SLCTest, AlignsThroughProvingInNormalAndEmergencyTime) {
  for (const bool emergency : {false, true}) {
    SCOPED_TRACE(emergency ? "emergency" : "normal");
    slc->local_deactivate();
    slc->emergency = emergency;
    const uint8_t proving_status = emergency ? SLC::SIE : SLC::SIN;
    const unsigned t4 = emergency ? 500 : 8200;
    TakeSent();
    slc->local_activate();
    end.Inject(Lssu(SLC::SIO));
    end.Inject(Lssu(SLC::SIN));
    EXPECT_EQ(TakeSent(), (std::vector<Bytes>{Lssu(SLC::SIO), Lssu(proving_status), Lssu(proving_status)}));
    Advance(t4 - 1);
    EXPECT_EQ(slc->get_state_id(), State::proving);
    Advance(1);
    EXPECT_EQ(slc->get_state_id(), State::aligned_ready);
    EXPECT_EQ(TakeSent(), std::vector<Bytes>{Fisu(127, 1, 127, 1)});
    owner.TakeEvents();
    end.Inject(Fisu(127, 1, 127, 1));
    EXPECT_EQ(slc->get_state_id(), State::worked);
    EXPECT_EQ(owner.TakeEvents(), std::vector<std::string>{"activated"});
    EXPECT_FALSE(slc->timer_pending());
  }
}

TEST_F(SLCTest, TimersTakeTheLinkDown) {
  const struct {
    State state;
    unsigned ms;
  } kCases[] = {{State::not_aligned, 7000}, {State::aligned, 1500}, {State::aligned_ready, 45000}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(SLC::StateName(c.state));
    slc->local_deactivate();
    DriveTo(c.state);
    Advance(c.ms - 1);
    EXPECT_EQ(slc->get_state_id(), c.state);
    Advance(1);
    EXPECT_EQ(slc->get_state_id(), State::idle);
    EXPECT_EQ(TakeSent(), std::vector<Bytes>{Lssu(SLC::SIOS)});
    EXPECT_EQ(owner.TakeEvents(), std::vector<std::string>{"deactivated impossible phasing"});
  }
}

TEST_F(SLCTest, LocalAndTrunkCommands) {
  slc->OnTrunkHardStatus(false);
  EXPECT_TRUE(owner.TakeEvents().empty());
  slc->local_deactivate();
  EXPECT_EQ(TakeSent(), std::vector<Bytes>{Lssu(SLC::SIOS)});
  EXPECT_EQ(owner.TakeEvents(), std::vector<std::string>{"deactivated impossible phasing"});

  DriveTo(State::worked);
  slc->local_activate();
  EXPECT_EQ(owner.TakeEvents(), std::vector<std::string>{"activated"});
  slc->OnTrunkHardStatus(true);
  EXPECT_EQ(slc->get_state_id(), State::worked);
  slc->OnTrunkHardStatus(false);
  EXPECT_EQ(slc->get_state_id(), State::idle);
}

TEST_F(SLCTest, TracesNameTheLink) {
  slc->dpc = 5;
  slc->slc = 2;
  slc->trunk = 1;
  slc->log.raw_receive = true;
  slc->log.state = true;
  end.Inject(Lssu(SLC::SIO));
  EXPECT_EQ(logs.Log(),
            "SS7/L2 [dpc=5, slc=2, trunk=1] (idle):  rx raw FF FF 01 00\n"
            "SS7/L2 [dpc=5, slc=2, trunk=1]: change state from \"idle\" to \"aligned\"\n");
  EXPECT_STREQ(slc->name().name(), "MTP/L2");
}

TEST_F(SLCTest, RefusedLssuIsSentWhenTheChannelIsReady) {
  end.RefuseNext(1);
  slc->local_activate();
  EXPECT_TRUE(TakeSent().empty());
  control_test::RunPasses(1);
  EXPECT_EQ(TakeSent(), std::vector<Bytes>{Lssu(SLC::SIO)});
}

TEST_F(SLCTest, DeadChannelTakesTheLinkDown) {
  DriveTo(State::worked);
  end.Die();
  EXPECT_EQ(slc->get_state_id(), State::idle);
  EXPECT_EQ(owner.TakeEvents(), std::vector<std::string>{"deactivated impossible phasing"});
}

}  // namespace
