#include "slots/MixerFactory.h"

#include "hardware/DSProcReceiverService.h"
#include "hardware/TonecReceiverService.h"
#include "platform/sim/Board.h"
#include "platform/sim/DspDriver.h"
#include "platform/sim/DtmfDriver.h"
#include "platform/sim/MixerDriver.h"
#include "platform/sim/VoiceDriver.h"
#include "tests/slots/SlotsHarness.h"
#include "tests/support/ControlLoop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <string>
#include <vector>

namespace {

using sim::MixerDriver;
using sim::TdmSwitch;
using Carries = TdmSwitch::Carries;
using Lines = std::vector<std::string>;
using Summators = std::map<int32_t, std::vector<MixerDriver::Input>>;

constexpr unsigned long kRxClear = 0x800c4d02;
constexpr unsigned long kTdm = 0x800c4d06;

// The switch channel of a channel of unit 0 on the simulated board.
constexpr int Timeslot(int channel) {
  return MixerDriver::kFirstSwitchChannel + channel;
}

// "<output>=<unit>:<number>*<gain>,..." for each programmed output of unit 0.
std::string Programmed(const Summators& summators) {
  std::string text;
  for (const auto& entry : summators) {
    text += (text.empty() ? "" : " ") + std::to_string(entry.first) + "=";
    for (const MixerDriver::Input& input : entry.second) {
      text += std::to_string(input.source.unit) + ":" + std::to_string(input.source.number) + "*" +
              std::to_string(input.gain) + ",";
    }
  }
  return text;
}

class MixerSlotTest : public SlotsTest {
 protected:
  void SetUp() override {
    SlotsTest::SetUp();
    mixer_ = sim::Board::instance().Find<MixerDriver>(MixerDriver::kPath);
    dtmf_ = sim::Board::instance().Find<sim::DtmfDriver>(sim::DtmfDriver::kPath);
    dsp_ = sim::Board::instance().Find<sim::DspDriver>(sim::DspDriver::kPath);
    // The board lives on from test to test.
    mixer_->SetUnits({{0, 32, 64}, {1, 32, 64}});
    ASSERT_TRUE(Hardware::TonecReceiverService::instance().init());
    ASSERT_TRUE(Hardware::DSProcReceiverService::instance().init());
    (void)Mixer::MixerFactory::instance();
  }
  std::string Query() {
    const Lines lines = Send(std::nullopt, [](LGCP::Command& command) { command.select_query(); });
    const std::string& signal = lines.back();
    const size_t at = signal.find("mixer");
    return at == std::string::npos ? signal : signal.substr(at, signal.find(", mux") - at);
  }
  Lines CreateInput(unsigned slot, int channel, const std::function<void(LGCP::MixerInParams&)>& more = nullptr) {
    return Send(slot, [&](LGCP::Command& command) {
      LGCP::MixerInParams& params = command.select_create().select_mixerIn();
      params.set_unit(0);
      params.get_channel().select_tdm().setValue(channel);
      if (more) {
        more(params);
      }
    });
  }
  Lines CreateOutput(unsigned slot, int channel, const std::vector<std::pair<int, int>>& inputs = {}) {
    return Send(slot, [&](LGCP::Command& command) {
      LGCP::MixerOutParams& params = command.select_create().select_mixerOut();
      params.set_unit(0);
      params.get_channel().select_tdm().setValue(channel);
      for (const auto& input : inputs) {
        LGCP::MixerInput entry;
        entry.get_channel().select_tdm().setValue(input.first);
        entry.set_gain(input.second);
        params.get_inputs().push_back(entry);
      }
    });
  }
  Lines Ioctl(unsigned slot, const std::function<void(LGCP::IoctlParams&)>& fill) {
    return Send(slot, [&](LGCP::Command& command) { fill(command.select_ioctl()); });
  }

  MixerDriver* mixer_ = nullptr;
  sim::DtmfDriver* dtmf_ = nullptr;
  sim::DspDriver* dsp_ = nullptr;
};

TEST_F(MixerSlotTest, DiscoveryOffersEveryUnitTheSmallestBounds) {
  EXPECT_EQ(Lines{"#1 3 error insufficientResources"}.size(), CreateInput(3, 1).size());
  mixer_->SetUnits({{0, 32, 64}, {4, 16, 80}});
  EXPECT_EQ(Query(),
            "mixer { { unit 0, tdm_inputs 16, tdm_outputs 16, mixer_inputs 64, dpu_per_mixer 770, dpu_per_ec 17, "
            "dpu_per_lms 24 }, { unit 4, tdm_inputs 16, tdm_outputs 16, mixer_inputs 64, dpu_per_mixer 770, "
            "dpu_per_ec 17, dpu_per_lms 24 } }");
  EXPECT_EQ(CreateInput(3, 16).back(), "3 error insufficientResources");
  EXPECT_EQ(CreateInput(3, 15).front(), "3 success");

  std::vector<MixerDriver::Unit> many;
  for (int32_t unit = 0; unit < 120; ++unit) {
    many.push_back({unit, 32, 64});
  }
  mixer_->SetUnits(many);
  const std::string report = Query();
  EXPECT_NE(report.find("unit 99,"), std::string::npos);
  EXPECT_EQ(report.find("unit 100,"), std::string::npos);
  EXPECT_TRUE(Mixer::MixerFactory::instance().version_valid());

  // The driver version comes from the voice device, which may be missing.
  sim::Driver* voice = sim::Board::instance().Find(sim::VoiceDriver::kPath);
  voice->SetAbsent(true);
  Query();
  voice->SetAbsent(false);
  EXPECT_FALSE(Mixer::MixerFactory::instance().version_valid());
  EXPECT_NE(ErrorText().find("mixer: device \"/dev/voice\" open fail: No such file or directory"), std::string::npos);
}

TEST_F(MixerSlotTest, VanishedUnitAbortsItsSlotsAndGoesWithTheLast) {
  Query();
  ASSERT_EQ(CreateInput(3, 1).front(), "3 success");
  ASSERT_EQ(CreateInput(4, 2).front(), "4 success");
  mixer_->SetUnits({{1, 32, 64}});
  const Lines aborted = Send(std::nullopt, [](LGCP::Command& command) { command.select_query(); });
  EXPECT_EQ(Lines(aborted.begin(), aborted.begin() + 3), (Lines{"- success", "3 abort : 0", "4 abort : 0"}));
  EXPECT_EQ(CreateInput(5, 1).back(), "5 error insufficientResources");
  EXPECT_EQ(Destroy(3).front(), "3 success");
  EXPECT_EQ(Destroy(4).front(), "4 success");

  // Back in the driver, the unit is a new one: its summators are cleared first.
  mixer_->SetUnits({{0, 32, 64}, {1, 32, 64}});
  Query();
  // Three unit queries around the clearing of unit 0's 32 summators.
  const std::vector<sim::Request> requests = mixer_->Requests();
  ASSERT_GE(requests.size(), 35u);
  EXPECT_EQ(
      std::count_if(requests.end() - 35, requests.end(), [](const sim::Request& r) { return r.code == kRxClear; }), 32);
  EXPECT_EQ(CreateInput(3, 1).front(), "3 success");
}

TEST_F(MixerSlotTest, InputJoinsItsSummatorAndLeavesIt) {
  Query();
  ASSERT_EQ(CreateInput(3, 1,
                        [](LGCP::MixerInParams& params) {
                          params.include_summator().select_tdm().setValue(7);
                          params.include_ecm().set_ec(true);
                        })
                .front(),
            "3 success");
  EXPECT_EQ(Programmed(mixer_->Summators(0)), "7=0:1*32767,");
  EXPECT_TRUE(dtmf_->Timeslots().at(Timeslot(1)).echo_canceller);
  EXPECT_EQ(SlotAt(3)->IGetReceiveChannel(), Timeslot(1));
  EXPECT_EQ(Destroy(3).front(), "3 success");
  EXPECT_EQ(Programmed(mixer_->Summators(0)), "");

  // A summator that is not a TDM channel is logged; the slot is still built.
  ASSERT_EQ(CreateInput(4, 2, [](LGCP::MixerInParams& p) { p.include_summator().select_rtp().setValue(7); }).front(),
            "4 success");
  EXPECT_NE(ErrorText().find("mixer [0]: wrong summator coding !"), std::string::npos);
  EXPECT_NE(ErrorText().find("mixer [0]: MIX_RX_ADD fail : "), std::string::npos);
}

TEST_F(MixerSlotTest, OutputProgramsItsSummatorOnlyWhenItCanBeBuilt) {
  Query();
  ASSERT_EQ(CreateOutput(5, 2).front(), "5 success");
  ASSERT_EQ(CreateOutput(6, 3, {{1, 100}, {4, 200}}).front(), "6 success");
  EXPECT_EQ(Programmed(mixer_->Summators(0)), "2=0:2*32767, 3=0:1*100,0:4*200,");
  EXPECT_EQ(SlotAt(6)->IGetTransmitChannel(), Timeslot(3));

  // Refused before any summator is programmed, and cleared again when the
  // timeslot cannot be had, so no output carries audio without a slot.
  EXPECT_EQ(CreateOutput(7, 32, {{1, 100}}).back(), "7 error insufficientResources");
  mixer_->FailNextRequest(kTdm, 1, EIO);
  EXPECT_EQ(CreateOutput(7, 9, {{1, 100}}).back(), "7 error insufficientResources");
  EXPECT_EQ(Programmed(mixer_->Summators(0)), "2=0:2*32767, 3=0:1*100,0:4*200,");
  // Nor when an input of the list cannot be added after others were.
  const Lines refused = Send(7, [](LGCP::Command& command) {
    LGCP::MixerOutParams& params = command.select_create().select_mixerOut();
    params.get_channel().select_tdm().setValue(9);
    params.get_inputs().resize(2);
    params.get_inputs()[0].get_channel().select_tdm().setValue(1);
    params.get_inputs()[0].set_gain(100);
    params.get_inputs()[1].get_channel().select_rtp().setValue(4);
  });
  EXPECT_EQ(refused.back(), "7 error insufficientResources");
  EXPECT_NE(ErrorText().find("mixer [0]: SetTX error: translation fail [2]"), std::string::npos);
  EXPECT_EQ(Programmed(mixer_->Summators(0)), "2=0:2*32767, 3=0:1*100,0:4*200,");

  EXPECT_EQ(Destroy(6).front(), "6 success");
  EXPECT_EQ(Programmed(mixer_->Summators(0)), "2=0:2*32767,");
}

// One live slot a unit point: a second create for it is refused before it
// programs anything, so that neither slot's destroy undoes the other's work.
TEST_F(MixerSlotTest, PointsHeldByALiveSlotAreRefused) {
  Query();
  ASSERT_EQ(CreateInput(3, 1, [](LGCP::MixerInParams& p) { p.include_summator().select_tdm().setValue(7); }).front(),
            "3 success");
  ASSERT_EQ(CreateOutput(4, 2, {{1, 100}}).front(), "4 success");
  EXPECT_EQ(CreateInput(5, 1).back(), "5 error insufficientResources");
  EXPECT_EQ(CreateOutput(6, 2).back(), "6 error insufficientResources");
  EXPECT_NE(ErrorText().find("mixer [0]: tdm input 1 is held by slot 03:mixer tdm input"), std::string::npos);
  EXPECT_NE(ErrorText().find("mixer [0]: tdm output 2 is held by slot 04:mixer tdm output"), std::string::npos);
  EXPECT_EQ(Programmed(mixer_->Summators(0)), "2=0:1*100, 7=0:1*32767,");
  // A channel's input and output are two points; a destroyed slot's point is free again.
  EXPECT_EQ(CreateOutput(5, 1).front(), "5 success");
  EXPECT_EQ(CreateInput(6, 2).front(), "6 success");
  EXPECT_EQ(Destroy(3).front(), "3 success");
  EXPECT_EQ(CreateInput(7, 1).front(), "7 success");
}

// A unit channel's input and output share one switch channel: it keeps the
// input's leg while either slot lives and is switched off with the last.
TEST_F(MixerSlotTest, SharedSwitchChannelGoesOffWithTheLastSlotOnIt) {
  Query();
  ASSERT_EQ(CreateTrunk(5, 1, 5).front(), "5 success");
  const TdmSwitch::Output leg{Carries::source, SlotAt(5)->IGetTransmitChannel()};
  ASSERT_EQ(CreateInput(3, 1).front(), "3 success");
  ASSERT_EQ(CreateOutput(4, 1).front(), "4 success");
  Connect(5, 3);
  ASSERT_EQ(Switch().OutputOf(Timeslot(1)), leg);
  EXPECT_EQ(Destroy(4).front(), "4 success");
  EXPECT_EQ(Switch().OutputOf(Timeslot(1)), leg);
  EXPECT_EQ(Destroy(3).front(), "3 success");
  EXPECT_EQ(Switch().OutputOf(Timeslot(1)), TdmSwitch::Output{});

  // The other order: the output that outlives the input switches the channel off.
  ASSERT_EQ(CreateInput(3, 2).front(), "3 success");
  ASSERT_EQ(CreateOutput(4, 2).front(), "4 success");
  Connect(5, 3);
  ASSERT_EQ(Switch().OutputOf(Timeslot(2)), leg);
  EXPECT_EQ(Destroy(3).front(), "3 success");
  EXPECT_EQ(Destroy(4).front(), "4 success");
  EXPECT_EQ(Switch().OutputOf(Timeslot(2)), TdmSwitch::Output{});
}

TEST_F(MixerSlotTest, IoctlsReachTheReceiversOfTheSlotsTimeslot) {
  Query();
  ASSERT_EQ(CreateInput(3, 1).front(), "3 success");
  ASSERT_EQ(CreateOutput(4, 2).front(), "4 success");
  using Fill = std::function<void(LGCP::IoctlParams&)>;
  const struct {
    const char* name;
    unsigned slot;
    Fill fill;
    const char* answer;
  } kCases[] = {
      {"echo suppressor on an input", 3, [](LGCP::IoctlParams& p) { p.select_echoSuppressor().setValue(true); },
       "success"},
      {"echo suppressor on an output", 4, [](LGCP::IoctlParams& p) { p.select_echoSuppressor().setValue(true); },
       "error unsupported"},
      {"dtmf enable", 3, [](LGCP::IoctlParams& p) { p.select_dtmf_enable().setValue(true); }, "success"},
      {"vad enable", 4, [](LGCP::IoctlParams& p) { p.select_vad_enable().setValue(true); }, "success"},
      {"sd enable", 3, [](LGCP::IoctlParams& p) { p.select_sd_enable().setValue(true); }, "success"},
      {"rx gain", 3, [](LGCP::IoctlParams& p) { p.select_rx_gain().set_gainDB(-6); }, "success"},
      {"rx gain on an output", 4, [](LGCP::IoctlParams& p) { p.select_rx_gain().set_gainDB(-6); }, "error unsupported"},
      {"tone filter", 4,
       [](LGCP::IoctlParams& p) {
         LGCP::ToneFilter& f = p.select_tone_filter();
         f.set_freq(2100);
         f.set_enable(true);
         f.set_duration_th_msec(40);
         f.set_det_level_dB(20);
       },
       "success"},
      {"delays with selcal", 3,
       [](LGCP::IoctlParams& p) {
         p.select_delays().include_rx().setValue(20);
         p.get_delays().include_selcal().setValue(5);
       },
       "success"},
      {"tone generator on an output", 4,
       [](LGCP::IoctlParams& p) {
         p.select_tone_gen_enable().set_freq(1000);
         p.get_tone_gen_enable().set_amp(300);
       },
       "success"},
      {"tone generator on an input", 3, [](LGCP::IoctlParams& p) { p.select_tone_gen_disable(); }, "error unsupported"},
      {"dtmf disable while nothing is sent", 4, [](LGCP::IoctlParams& p) { p.select_dtmf_disable(); },
       "error unsupported"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Ioctl(c.slot, c.fill).front(), std::to_string(c.slot) + " " + c.answer);
  }
  EXPECT_TRUE(dtmf_->Timeslots().at(Timeslot(1)).echo_canceller);
  EXPECT_TRUE(dtmf_->Timeslots().at(Timeslot(1)).detector);
  const auto dsp = dsp_->Timeslots();
  EXPECT_EQ(dsp.at(Timeslot(2)).enabled, sim::DspDriver::kVad);
  EXPECT_EQ(dsp.at(Timeslot(1)).enabled, sim::DspDriver::kSd);
  EXPECT_EQ(dsp.at(Timeslot(1)).rx_gain, -6);
  EXPECT_EQ(dsp.at(Timeslot(1)).delays, (std::vector<uint32_t>{20, 0, 0}));
  EXPECT_EQ(dsp.at(Timeslot(2)).tone_filters.count(2100), 1u);
  EXPECT_NE(ErrorText().find("mixer [0]: error: selcal delay isn't supported for mixer!!! Set to zero."),
            std::string::npos);
  EXPECT_EQ(dtmf_->Tones().back().freq1, 1000);
  EXPECT_EQ(dtmf_->Tones().back().level1, 300);

  // Events of the timeslots come back as signals (a digit: the end-to-end mixer test).
  ASSERT_TRUE(dsp_->Report(Timeslot(2), sim::DspDriver::kVadEvent, {1, 1, 0}));
  ASSERT_TRUE(dsp_->Report(Timeslot(1), sim::DspDriver::kSdEvent, {1, 0, 0}));
  const std::string signals = control_test::Joined(Received());
  // An output reports tone and flags events only.
  EXPECT_EQ(signals.find("4 vad"), std::string::npos) << signals;
  EXPECT_NE(signals.find("3 sd : { sd-rx TRUE}"), std::string::npos) << signals;

  // Destroying cleans what each switched on.
  EXPECT_EQ(Destroy(3).front(), "3 success");
  EXPECT_EQ(Destroy(4).front(), "4 success");
  EXPECT_EQ(dsp_->Timeslots().at(Timeslot(2)).enabled, 0u);
  EXPECT_TRUE(dsp_->Timeslots().at(Timeslot(2)).tone_filters.empty());
  EXPECT_EQ(dsp_->Timeslots().at(Timeslot(1)).rx_gain, 0);
}

}  // namespace
