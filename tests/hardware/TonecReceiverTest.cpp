#include "hardware/TonecReceiver.h"

#include "hardware/ReceiverId.h"
#include "hardware/TonecReceiverService.h"
#include "platform/sim/Board.h"
#include "platform/sim/DtmfDriver.h"
#include "tests/support/ControlLoop.h"
#include "tests/support/FreshBoard.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

namespace {

using control_test::FrozenClock;
using control_test::Logs;
using control_test::RunPasses;
using control_test::RunUntil;
using Hardware::TonecReceiver;
using Hardware::TonecReceiverService;
using sim::DtmfDriver;

constexpr unsigned long kEnableDetector = 0x40084203;
constexpr unsigned long kDial = 0x400c4205;

class Receiver : public TonecReceiver {
 public:
  explicit Receiver(unsigned timeslot) : timeslot_(timeslot) {}
  void tonec_event(const Params& params) override { codes.push_back(params.code); }
  unsigned tonec_timeslot() const override { return timeslot_; }
  void tone_gen_complete() override { ++completed; }

  std::vector<uint32_t> codes;
  int completed = 0;

 private:
  unsigned timeslot_;
};

class TonecReceiverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test_support::FreshBoard();
    dtmf_ = sim::Board::instance().Find<DtmfDriver>(DtmfDriver::kPath);
    ASSERT_TRUE(TonecReceiverService::instance().init());
  }
  // The generator settings since the last look, as "freq1/freq2@level1+ms after the start".
  std::vector<std::string> Tones() {
    std::vector<std::string> tones;
    const std::vector<DtmfDriver::Tone> all = dtmf_->Tones();
    for (size_t i = seen_; i < all.size(); ++i) {
      const DtmfDriver::Tone& tone = all[i];
      tones.push_back(std::to_string(tone.freq1) + "/" + std::to_string(tone.freq2) + "@" +
                      std::to_string(tone.level1) + "+" + std::to_string(tone.ms - kStartMs));
    }
    seen_ = all.size();
    return tones;
  }
  void Advance(unsigned ms) {
    clock_.Advance(ms);
    RunPasses(2);
  }
  size_t Requests(unsigned long code) {
    size_t count = 0;
    for (const sim::Request& request : dtmf_->Requests()) {
      count += request.code == code ? 1 : 0;
    }
    return count;
  }

  // Where the frozen clock starts.
  static constexpr int64_t kStartMs = 1000000000;

  FrozenClock clock_;
  size_t seen_ = 0;
  Logs logs_;
  DtmfDriver* dtmf_ = nullptr;
};

TEST_F(TonecReceiverTest, EachEventGoesToTheFirstReceiverOfItsTimeslotUnderItsId) {
  Receiver older(5), newer(5), disabled(6), other(7);
  ASSERT_TRUE(newer.enableDTMF(true));
  ASSERT_TRUE(older.enableDTMF(true));
  ASSERT_TRUE(other.enableDTMF(true));
  EXPECT_NE(older.id(), newer.id());
  const struct {
    const char* name;
    uint32_t timeslot;
    uint32_t id;
    std::vector<uint32_t> older, disabled, other;
    const char* line;
  } kCases[] = {
      {"matching id", 5, older.id(), {3}, {}, {}, ""},
      {"newer receiver's id is stale for the older", 5, newer.id(), {}, {}, {}, "ignore spurious dtmf event: "},
      {"disabled", 6, 0, {}, {}, {}, "ignore spurious dtmf event (DTMF disabled): "},
      {"unknown timeslot", 9, 0, {}, {}, {}, "receive tonec event from unknown timeslot 9"},
      {"another timeslot", 7, other.id(), {}, {}, {3}, ""},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    older.codes.clear();
    other.codes.clear();
    logs_.Clear();
    ASSERT_TRUE(dtmf_->Detect(c.timeslot, 3, 100, c.id));
    RunUntil([&] { return !logs_.Log().empty(); });
    EXPECT_EQ(older.codes, c.older);
    EXPECT_EQ(disabled.codes, c.disabled);
    EXPECT_EQ(other.codes, c.other);
    EXPECT_TRUE(newer.codes.empty());
    EXPECT_NE((logs_.Log() + logs_.Err()).find(c.line), std::string::npos);
  }
}

TEST_F(TonecReceiverTest, WaitToneCadenceRunsOnTheLoopClockAndCancelStopsIt) {
  Receiver receiver(5);
  receiver.activateAudibleCall();
  Advance(1000);
  Advance(3000);
  EXPECT_EQ(Tones(), (std::vector<std::string>{"425/0@2048+0", "1000/1000@0+1000", "425/0@2048+4000"}));
  receiver.cancelAudibleCall();
  Advance(1000);
  Advance(3000);
  // Only the generator switched off: the pending step went with the cancel.
  EXPECT_EQ(Tones(), std::vector<std::string>{"0/0@0+4000"});
}

TEST_F(TonecReceiverTest, DigitStringTakesOverTheCadenceWithItsLengths) {
  Receiver receiver(5);
  receiver.activateAudibleCall();
  LGCP::TranslateDtmfParams params;
  for (int digit : {1, 2}) {
    LGCP::DualTone tone;
    tone.set_freq1(697 + digit);
    tone.set_freq2(1209);
    params.get_digits().push_back(tone);
  }
  // A negative length would otherwise become a timer of about 49 days.
  params.include_toneDuration().setValue(-5);
  params.include_pauseDuration().setValue(30);
  params.include_amp1().setValue(1000);
  receiver.translateDTMF(params);
  EXPECT_TRUE(receiver.sending());
  Advance(70);
  Advance(30);
  Advance(70);
  Advance(30);
  EXPECT_EQ(Tones(), (std::vector<std::string>{"425/0@2048+0", "698/1209@1000+0", "1000/1000@0+70", "699/1209@1000+100",
                                               "1000/1000@0+170", "0/0@0+200"}));
  EXPECT_EQ(receiver.completed, 1);
  EXPECT_FALSE(receiver.sending());
  Advance(5000);
  EXPECT_TRUE(Tones().empty());

  receiver.translateDTMF(LGCP::TranslateDtmfParams());
  EXPECT_EQ(receiver.completed, 2);
  EXPECT_EQ(Tones(), std::vector<std::string>{"0/0@0+5200"});
}

TEST_F(TonecReceiverTest, ShortRecordsReadErrorsAndHangUpNeverReachAReceiver) {
  Receiver receiver(5);
  ASSERT_TRUE(receiver.enableDTMF(true));
  ASSERT_TRUE(dtmf_->DeliverRaw({0, 0, 0, 1, 0, 0, 0, 5}));
  ASSERT_TRUE(dtmf_->Detect(5, 2, 0));
  RunUntil([&] { return !receiver.codes.empty(); });
  EXPECT_EQ(receiver.codes, std::vector<uint32_t>{2});
  EXPECT_EQ(logs_.CountErr("short tonec event of 8 bytes, dropped"), 1);

  dtmf_->FailNext(sim::Call::kRead, 1, EIO);
  ASSERT_TRUE(dtmf_->Detect(5, 4, 0));
  RunUntil([&] { return logs_.CountErr("fail to read from tonec: ") == 1; });

  dtmf_->HangUpAll();
  RunUntil([&] { return !TonecReceiverService::instance().is_open(); });
  EXPECT_EQ(logs_.CountErr("tonec device hang-up: POLLHUP"), 1);
  EXPECT_FALSE(receiver.enableDTMF(false));
  // A configure request opens the device again.
  EXPECT_TRUE(receiver.configureDTMF(LGCP::DTMFParams()));
  EXPECT_TRUE(receiver.enableDTMF(false));
}

}  // namespace
