#include "radio/RtpED137Factory.h"
#include "radio/RtpLEMZFactory.h"

#include "platform/sim/Board.h"
#include "platform/sim/VoiceDriver.h"
#include "tests/slots/SlotsHarness.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

using RadioSlotsTest = SlotsTest;

// The radio factories write their own name and the voice device's counts ahead of every line, those of the
// session steps they share with the RTP factory too.
TEST_F(RadioSlotsTest, FactoriesLogUnderTheirOwnHeader) {
  auto* voice = sim::Board::instance().Find<sim::VoiceDriver>(sim::VoiceDriver::kPath);
  ASSERT_NE(voice, nullptr);
  voice->SetCodecChannels(2, 3);     // G.723
  voice->SetCodecChannels(4, 5);     // G.729
  voice->SetCodecChannels(1, 7);     // G.711
  voice->SetCodecChannels(0x41, 9);  // universal
  const struct {
    const char* name;
    RtpFactory& factory;
    std::function<void(TERM::RadioStatus&)> status;
    std::string line;
  } kCases[] = {
      {"LEMZ", RtpLEMZFactory::instance(), [](TERM::RadioStatus& s) { s.select_lemz(); },
       "rtp ext LEMZ[3,5,7,9]: rtp do not created: payload "},
      {"ED-137", RtpED137Factory::instance(), [](TERM::RadioStatus& s) { s.select_ed_137(); },
       "rtp ext ED137[3,5,7,9]: rtp do not created: payload "},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    LGCP::Resources resources;
    c.factory.Query(resources);
    EXPECT_EQ(resources.get_universal().getValue(), 9);
    ctrlsrv_test::Capture log(std::clog);
    const Lines answer = Send(4, [&](LGCP::Command& command) {
      TERM::RtpParams& rtp = command.select_create().select_rtp().get_codecRTP();
      rtp.set_payload(TERM::Payload::ptR2S);
      rtp.get_dhost().set_iaddr("127.0.0.1");
      c.status(rtp.include_radio().get_status());
    });
    EXPECT_EQ(answer, Lines{"4 error insufficientResources"});
    EXPECT_NE(log.Text().find(c.line), std::string::npos) << log.Text();
  }
}

}  // namespace
