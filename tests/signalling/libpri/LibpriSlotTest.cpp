// libpri as a PRI terminal against a PSTN slot running the network side of
// the D channel: libpri's frames reach the slot's MCC channel on the
// simulated board, and what the slot writes there reaches libpri. Layer 3
// stays with the controller on our side.
#include "tests/signalling/SignallingSlotsFixture.h"
#include "tests/signalling/libpri/PriFrames.h"

#include <gtest/gtest.h>

extern "C" {
#include <libpri.h>
}

#include <unistd.h>

#include <algorithm>

namespace {

using namespace signalling_slots_test;

class LibpriSlot : public SignallingSlotsTest {
 protected:
  void SetUp() override {
    SignallingSlotsTest::SetUp();
    pri_ = pri_new_cb(-1, PRI_CPE, PRI_SWITCH_EUROISDN_E1, &PriFrames::Read, &PriFrames::Write, &frames_);
    ASSERT_NE(pri_, nullptr);
  }

  // Passes frames both ways and moves our clock on, keeping what the controller heard.
  template <class Done>
  bool StepUntil(Done done) {
    for (int step = 0; step < 2000 && !done(); ++step) {
      for (Bytes& frame : mcc_->TakeTransmitted(channel_)) {
        frames_.Queue(std::move(frame));
      }
      while (!frames_.Empty()) {
        if (pri_event* event = pri_check_event(pri_)) {
          events_.push_back(event->e);
        }
      }
      // libpri's own timers run on the real clock.
      usleep(1000);
      if (pri_event* event = pri_schedule_run(pri_)) {
        events_.push_back(event->e);
      }
      for (std::string& line : Run(10, 10)) {
        heard_.push_back(std::move(line));
      }
    }
    return done();
  }
  bool Saw(int event) const { return std::find(events_.begin(), events_.end(), event) != events_.end(); }

  struct pri* pri_ = nullptr;
  int channel_ = -1;
  PriFrames frames_{[this](Bytes frame) { (void)mcc_->Receive(channel_, frame); }};
  std::vector<int> events_;
  Lines heard_;
};

TEST_F(LibpriSlot, PriTerminalEstablishesAndSetupPassesBothWays) {
  CreatePstn(10, Isdn(LGCP::IsdnType::pri, true));
  CreateTrunk(1, 0, 16);
  Connect(1, 10);
  channel_ = OnlyChannel();
  ASSERT_NE(channel_, -1);
  // Both ends start the data link; the terminal reports it up once the two have settled.
  ASSERT_TRUE(StepUntil([&] { return Count(heard_, "10 activated") > 0 && Saw(PRI_EVENT_DCHAN_UP); }));

  // SETUP, call reference 1 of two octets: speech A-law, B channel 1, called number 123.
  const Bytes setup = {0x08, 0x02, 0x00, 0x01, 0x05, 0x04, 0x03, 0x80, 0x90, 0xA3, 0x18,
                       0x03, 0xA1, 0x83, 0x81, 0x70, 0x04, 0x81, '1',  '2',  '3'};
  EXPECT_EQ(UserData(10, setup), Lines{"10 success"});
  ASSERT_TRUE(StepUntil([&] { return Saw(PRI_EVENT_RING); }));

  q931_call* call = pri_new_call(pri_);
  ASSERT_NE(call, nullptr);
  pri_sr* request = pri_sr_new();
  pri_sr_set_channel(request, 2, 1, 0);
  pri_sr_set_bearer(request, PRI_TRANS_CAP_SPEECH, PRI_LAYER_1_ALAW);
  char called[] = "456";
  pri_sr_set_called(request, called, PRI_UNKNOWN, 1);
  ASSERT_EQ(pri_setup(pri_, call, request), 0);
  pri_sr_free(request);
  // The terminal's SETUP (two-octet call reference, message type 5) comes up as userData.
  const auto setup_heard = [&] {
    const std::string prefix = "10 userData : '08 02 ";
    return std::any_of(heard_.begin(), heard_.end(), [&](const std::string& line) {
      return line.compare(0, prefix.size(), prefix) == 0 && line.compare(prefix.size() + 6, 2, "05") == 0;
    });
  };
  ASSERT_TRUE(StepUntil(setup_heard));
  EXPECT_EQ(Count(heard_, "10 deactivated"), 0u);
}

}  // namespace
