#include "signalling/SLC.h"

#include "tests/signalling/SlcFixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace slc_test;
using SS7::SLC;

const Bytes kPayload = {0x83, 1, 2, 3};

class SLCErrorCorrectionTest : public ::testing::Test, public LinkFixture {
 protected:
  void SetUp() override { DriveTo(State::worked); }
  // The sequence fields of each frame sent since the last look.
  std::vector<std::string> SentUnits() {
    std::vector<std::string> units;
    for (const Bytes& frame : TakeSent()) {
      const Unit u = Decode(frame);
      units.push_back((u.li == 0 ? "FISU" : "MSU") + (" bsn=" + std::to_string(u.bsn)) + " bib=" +
                      std::to_string(u.bib) + " fsn=" + std::to_string(u.fsn) + " fib=" + std::to_string(u.fib));
    }
    return units;
  }
};

TEST_F(SLCErrorCorrectionTest, GapIsNegativelyAcknowledgedOnce) {
  end.Inject(Msu(127, 1, 1, 1, kPayload));
  EXPECT_EQ(SentUnits(), std::vector<std::string>{"FISU bsn=127 bib=0 fsn=127 fib=1"});
  EXPECT_EQ(slc->statistics().badSeq, 1u);
  // Until the peer's retransmission begins only its BSNs count.
  end.Inject(Msu(127, 1, 2, 1, kPayload));
  end.Inject(Fisu(127, 1, 2, 1));
  EXPECT_TRUE(TakeSent().empty());
  EXPECT_EQ(slc->statistics().badSeq, 1u);
  end.Inject(Msu(127, 1, 0, 0, kPayload));
  end.Inject(Msu(127, 1, 1, 0, {9, 9, 9}));
  EXPECT_EQ(SentUnits(),
            (std::vector<std::string>{"FISU bsn=0 bib=0 fsn=127 fib=1", "FISU bsn=1 bib=0 fsn=127 fib=1"}));
  EXPECT_EQ(owner.messages, (std::vector<Bytes>{kPayload, {9, 9, 9}}));
  EXPECT_EQ(slc->get_state_id(), State::worked);
}

TEST_F(SLCErrorCorrectionTest, NegativeAcknowledgementRetransmitsTheUnacknowledged) {
  Send({1, 1, 1});
  Send({2, 2, 2});
  Send({3, 3, 3});
  TakeSent();
  // The peer acknowledges FSN 0 and inverts its BIB.
  end.Inject(Fisu(0, 0, 127, 1));
  EXPECT_EQ(TakeSent(), (std::vector<Bytes>{Msu(127, 1, 1, 0, {2, 2, 2}), Msu(127, 1, 2, 0, {3, 3, 3})}));
  EXPECT_EQ(slc->statistics().repeat, 1u);
  EXPECT_EQ(slc->rtb_count(), 2u);
}

TEST_F(SLCErrorCorrectionTest, BadBackwardSequenceNumbers) {
  Send(kPayload);
  TakeSent();
  // Once is ignored, the unit itself is still handled.
  end.Inject(Msu(50, 1, 0, 1, kPayload));
  EXPECT_EQ(slc->get_state_id(), State::worked);
  EXPECT_EQ(SentUnits(), std::vector<std::string>{"FISU bsn=0 bib=1 fsn=0 fib=1"});
  EXPECT_EQ(slc->rtb_count(), 1u);
  // Twice in a row the link goes down, and the unit that did it is not
  // answered or delivered after that.
  end.Inject(Msu(50, 1, 3, 1, kPayload));
  end.Inject(Msu(50, 1, 4, 1, kPayload));
  EXPECT_EQ(slc->get_state_id(), State::idle);
  EXPECT_EQ(TakeSent(), std::vector<Bytes>{Lssu(SLC::SIOS)});
  EXPECT_EQ(owner.TakeEvents(), std::vector<std::string>{"deactivated impossible phasing"});
  EXPECT_EQ(owner.messages.size(), 1u);
  EXPECT_EQ(slc->statistics().badSeq, 0u);
}

TEST_F(SLCErrorCorrectionTest, UnexpectedFibTwiceWithoutNackTakesTheLinkDown) {
  end.Inject(Fisu(127, 1, 127, 0));
  EXPECT_EQ(slc->get_state_id(), State::worked);
  end.Inject(Fisu(127, 1, 127, 0));
  EXPECT_EQ(slc->get_state_id(), State::idle);
}

TEST_F(SLCErrorCorrectionTest, BuffersAreBounded) {
  for (unsigned i = 0; i < SLC::kRtbLimit + SLC::kTbLimit + 1; ++i) {
    Send({static_cast<uint8_t>(i), 0, 0});
  }
  EXPECT_EQ(slc->rtb_count(), SLC::kRtbLimit);
  EXPECT_EQ(slc->tb_count(), SLC::kTbLimit);
  EXPECT_EQ(slc->statistics().overflow, 1u);
  const std::vector<Bytes> sent = TakeSent();
  ASSERT_EQ(sent.size(), SLC::kRtbLimit);
  EXPECT_EQ(Decode(sent.back()).fsn, 126u);
  // Acknowledging them all lets the next 127 go, the FSN wrapping past 127.
  end.Inject(Fisu(126, 1, 127, 1));
  EXPECT_EQ(slc->rtb_count(), SLC::kRtbLimit);
  EXPECT_EQ(Decode(TakeSent()[1]).fsn, 0u);
}

TEST_F(SLCErrorCorrectionTest, BusyChannelKeepsTheMsuAndAFailingOneLosesIt) {
  end.RefuseNext(1);
  Send({1, 1, 1});
  EXPECT_TRUE(TakeSent().empty());
  EXPECT_EQ(slc->tb_count(), 1u);
  control_test::RunPasses(1);
  EXPECT_EQ(TakeSent(), std::vector<Bytes>{Msu(127, 1, 0, 1, {1, 1, 1})});

  // A hard error loses the frame as the line would; the queue moves on and
  // the error correction recovers it.
  end.FailNext(2);
  Send({2, 2, 2});
  Send({3, 3, 3});
  Send({4, 4, 4});
  EXPECT_EQ(TakeSent(), std::vector<Bytes>{Msu(127, 1, 3, 1, {4, 4, 4})});
  EXPECT_EQ(slc->tb_count(), 0u);
  EXPECT_EQ(logs.CountErr("fails to send"), 1);
  end.Inject(Fisu(0, 0, 127, 1));
  EXPECT_EQ(TakeSent(), (std::vector<Bytes>{Msu(127, 1, 1, 0, {2, 2, 2}), Msu(127, 1, 2, 0, {3, 3, 3}),
                                            Msu(127, 1, 3, 0, {4, 4, 4})}));
}

}  // namespace
