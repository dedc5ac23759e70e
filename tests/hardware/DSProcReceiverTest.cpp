#include "hardware/DSProcReceiver.h"

#include "hardware/DSProcReceiverService.h"
#include "platform/sim/Board.h"
#include "platform/sim/DspDriver.h"
#include "runtime/log/TraceFlags.h"
#include "tests/support/ControlLoop.h"
#include "tests/support/FreshBoard.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using control_test::Logs;
using control_test::RunUntil;
using Hardware::DSProcReceiver;
using Hardware::DSProcReceiverService;
using sim::DspDriver;
using Bytes = std::vector<uint8_t>;

constexpr unsigned long kConfigure = 0x40146401;
constexpr unsigned long kEnable = 0x400c6402;
constexpr unsigned long kDisable = 0x400c6403;

// Writes down each event as a line: "vad -1 1", "tone 3000 1".
class Receiver : public DSProcReceiver {
 public:
  explicit Receiver(unsigned timeslot) : timeslot_(timeslot) {}
  void dsproc_vad_event(const Hardware::DSProcVADEvent& e) override {
    events.push_back("vad " + std::to_string(e.rx) + " " + std::to_string(e.tx));
  }
  void dsproc_bss_event(const ::dsproc_bss_event* e) override { events.push_back("bss " + std::to_string(e->score)); }
  void dsproc_sd_event(const Hardware::DSProcSDEvent& e) override { events.push_back("sd " + std::to_string(e.rx)); }
  void dsproc_tone_flt_event(const ::dsproc_tone_event* e) override {
    events.push_back("tone " + std::to_string(e->frequency) + " " + std::to_string(e->presence != 0));
  }
  void dsproc_flags_event(const ::dsproc_flags_event* e) override {
    events.push_back("flags " + std::to_string(e->flags) + " " + std::to_string(e->mask));
  }
  unsigned dsproc_timeslot() const override { return timeslot_; }

  std::vector<std::string> events;

 private:
  unsigned timeslot_;
};

class DSProcReceiverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test_support::FreshBoard();
    dsp_ = sim::Board::instance().Find<DspDriver>(DspDriver::kPath);
    ASSERT_TRUE(DSProcReceiverService::instance().init());
  }
  void TearDown() override { traces.signalling.events = false; }
  // The records of the requests of one code, oldest first.
  std::vector<Bytes> Records(unsigned long code) {
    std::vector<Bytes> records;
    for (const sim::Request& request : dsp_->Requests()) {
      if (request.code == code) {
        records.push_back(request.record);
      }
    }
    return records;
  }

  Logs logs_;
  DspDriver* dsp_ = nullptr;
};

TEST_F(DSProcReceiverTest, VadRecordFollowsTheDriverVersion) {
  Receiver receiver(5);
  LGCP::VADParams v2;
  TERM::VADParamsV2& params = v2.select_v2();
  params.set_voice_th_msec(0x0102);
  params.set_silence_th_msec(0x0304);
  params.set_e_th_dB(5);
  LGCP::VADParams v1;
  v1.select_v1();
  EXPECT_TRUE(receiver.configureVAD(v2));
  EXPECT_FALSE(receiver.configureVAD(v1));
  EXPECT_NE(logs_.Err().find("DSPROC_CONFIGURE VAD: params not specified for v2:  timeslot=5"), std::string::npos);
  dsp_->SetVersion(1);
  EXPECT_TRUE(receiver.configureVAD(v2));
  EXPECT_EQ(Records(kConfigure), (std::vector<Bytes>{{0, 0, 0, 5, 0, 0, 0, 1, 1, 2, 3, 4, 5, 0, 0, 0, 0, 0, 0, 0},
                                                     {0, 0, 0, 5, 0, 0, 0, 1, 0, 0, 0, 3, 0, 0, 0, 127, 0, 0, 0, 0}}));
}

TEST_F(DSProcReceiverTest, EventsReachTheReceiverOnlyUnderTheirRule) {
  traces.signalling.events = true;
  Receiver receiver(5);
  ASSERT_TRUE(receiver.enableVAD(true));
  // Ids run on across tests: the service is one for the process.
  const auto vad_id = static_cast<uint8_t>(dsp_->Timeslots().at(5).ids.at(DspDriver::kVad));
  const struct {
    const char* name;
    Bytes record;
    const char* event;  // nullptr: none
    const char* line;
  } kCases[] = {
      {"vad reporting tx only",
       {0, 0, 0, 5, 0, 0, 0, vad_id, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0, 1},
       "vad -1 1",
       "dsproc vad event:  dir_mask=2 vad_rx=1 vad_tx=1"},
      {"stale vad id",
       {0, 0, 0, 5, 0, 0, 0, 9, 0, 0, 0, 1, 0, 0, 0, 3, 0, 0, 0, 1, 0, 0, 0, 1},
       nullptr,
       "ignore spurious dsproc vad event:  timeslot=5 id=9 type=1 rid="},
      {"bss while off",
       {0, 0, 0, 5, 0, 0, 0, 0, 0, 0, 0, 0x10, 0x3f, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
       nullptr,
       "ignore spurious dsproc bss event (dsproc disabled): "},
      // A presence of 1 is the whole word, never its first byte.
      {"tone present",
       {0, 0, 0, 5, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0x0b, 0xb8, 0, 0, 0, 1, 0, 0, 0, 0},
       "tone 3000 1",
       "type=256"},
      {"flags",
       {0, 0, 0, 5, 0, 0, 0, 0, 0, 0, 2, 0, 0x80, 0, 0, 0, 0xa0, 0, 0, 0, 0, 0, 0, 0},
       "flags 2147483648 2684354560",
       "dsproc flags event:  flags=80000000, mask=a0000000"},
      {"unknown timeslot",
       {0, 0, 0, 6, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
       nullptr,
       "receive dsproc event from unknown timeslot 6"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    receiver.events.clear();
    logs_.Clear();
    ASSERT_TRUE(dsp_->DeliverRaw(c.record));
    RunUntil([&] { return !logs_.Log().empty(); });
    EXPECT_EQ(receiver.events, c.event ? std::vector<std::string>{c.event} : std::vector<std::string>{});
    EXPECT_NE((logs_.Log() + logs_.Err()).find(c.line), std::string::npos) << logs_.Log() << logs_.Err();
  }
}

TEST_F(DSProcReceiverTest, ShortRecordIsDroppedAndHangUpReleasesTheDevice) {
  Receiver receiver(5);
  ASSERT_TRUE(receiver.enableSD(true));
  ASSERT_TRUE(dsp_->DeliverRaw({0, 0, 0, 5, 0, 0, 0, 1, 0, 0, 0, 2}));
  ASSERT_TRUE(dsp_->Report(5, DspDriver::kSdEvent, {1, 0, 0}));
  RunUntil([&] { return !receiver.events.empty(); });
  EXPECT_EQ(receiver.events, std::vector<std::string>{"sd 1"});
  EXPECT_EQ(logs_.CountErr("short dsproc event of 12 bytes, dropped"), 1);

  dsp_->HangUpAll();
  RunUntil([&] { return !DSProcReceiverService::instance().is_open(); });
  EXPECT_EQ(logs_.CountErr("dsproc device hang-up: POLLHUP"), 1);
  EXPECT_TRUE(receiver.configureSD());
}

}  // namespace
