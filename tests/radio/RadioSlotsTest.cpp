#include "radio/RtpED137Factory.h"
#include "radio/RtpED137Slot.h"
#include "radio/RtpLEMZFactory.h"
#include "radio/RtpLEMZSlot.h"

#include "platform/Device.h"
#include "platform/sim/Board.h"
#include "platform/sim/RtpDriver.h"
#include "platform/sim/RtpExtDriver.h"
#include "platform/sim/VoiceDriver.h"
#include "tests/rtp/UdpPeer.h"
#include "tests/slots/SlotsHarness.h"
#include "tests/support/ControlLoop.h"

#include <gtest/gtest.h>

#include <fcntl.h>

#include <cerrno>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;
using RTPSignalling::RadioControl;

constexpr int kChannel = 2048;
const rtp_connection_params kRtp{};
const rtp_ext_init_params kInit{RTPSignalling::kLemzExtensionType, {}};
const rtp_attach_session_params kJoin{7, 1234};

class RadioSlotsTest : public SlotsTest {
 protected:
  void SetUp() override {
    SlotsTest::SetUp();
    ext_ = sim::Board::instance().Find<sim::RtpExtDriver>("/dev/rtp_ext");
    rtp_ = sim::Board::instance().Find<sim::RtpDriver>(sim::RtpDriver::kPath);
    ASSERT_NE(ext_, nullptr);
    ASSERT_NE(rtp_, nullptr);
  }

  sim::RtpExtDriver* ext_ = nullptr;
  sim::RtpDriver* rtp_ = nullptr;
};

// The forms no factory uses: each joins the RTP stream its own way, with the control of its kind and side, and
// runs no status timer.
TEST_F(RadioSlotsTest, EachFormBuildsItsControl) {
  using Build = std::function<std::unique_ptr<RtpExtSlot>(const Fd& session)>;
  const struct {
    const char* name;
    Build build;
    RadioControl::RadioControlType type;
    bool workstation;  // sends a gw-set-sh modifier
  } kCases[] = {
      {"rtp ext LEMZ (GW)", [](const Fd& s) { return std::make_unique<RtpLEMZRadioGWSlot>(kChannel, s, kRtp, kInit); },
       RadioControl::kDetached, false},
      {"rtp ext LEMZ (WS)",
       [](const Fd& s) {
         return std::make_unique<RtpLEMZRadioWSSlot>(kChannel, s, kRtp, rtp_ext_attach_session_params{s.get(), -1},
                                                     kInit);
       },
       RadioControl::kAttached, true},
      {"rtp ext LEMZ (WS)", [](const Fd& s) { return std::make_unique<RtpLEMZRadioWSSlot>(kChannel, s, kRtp, kInit); },
       RadioControl::kDetached, true},
      {"rtp ext LEMZ (WS)", [](const Fd& s) { return std::make_unique<RtpLEMZRadioWSSlot>(kChannel, s, kRtp, kJoin); },
       RadioControl::kJoined, true},
      {"rtp ext ED137 (GW)",
       [](const Fd& s) { return std::make_unique<RtpED137RadioGWSlot>(kChannel, s, kRtp, kInit); },
       RadioControl::kDetached, false},
      {"rtp ext ED137 (GW)",
       [](const Fd& s) { return std::make_unique<RtpED137RadioGWSlot>(kChannel, s, kRtp, kJoin); },
       RadioControl::kJoined, false},
  };
  TERM::RadioModifier modifier;
  ASSERT_TRUE(modifier.setFromValueNotation(
      "lemz : { addr { session-addr \"10.0.0.5\", session-ssrc 1 }, params gw-set-sh : { flags { prio 4, ptt FALSE, "
      "bss FALSE, vad-rx FALSE, vad-tx FALSE, sql FALSE, sh TRUE, pwr FALSE, rv FALSE, resv FALSE, selcall 0, li 0 } } "
      "}"));
  control_test::FrozenClock clock;
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.name << " type " << c.type);
    const Fd session(platform::Open(sim::RtpDriver::kPath, O_RDWR));
    std::unique_ptr<RtpExtSlot> slot = c.build(session);
    EXPECT_STREQ(slot->GetName(), c.name);
    ASSERT_NE(slot->control(), nullptr);
    EXPECT_EQ(slot->control()->Type(), c.type);
    const bool own = c.type != RadioControl::kJoined;
    ASSERT_EQ(ext_->Sessions(), own ? 1u : 0u);
    if (own) {
      EXPECT_EQ(ext_->Attached(0), c.type == RadioControl::kAttached);
    } else {
      EXPECT_EQ(rtp_->Sessions().back().attach, (Bytes{0, 0, 0, 7, 0, 0, 0x04, 0xd2}));
    }
    // Both LEMZ sides take the modifier; only the workstation sends commands towards a radio gateway.
    EXPECT_EQ(slot->control()->SendASNToChan(modifier), std::string(c.name).find("LEMZ") != std::string::npos);
    const size_t sent = own ? ext_->Written(0).size() : 0;
    EXPECT_EQ(sent, c.workstation && own ? 1u : 0u);
    clock.Advance(3000);
    control_test::RunPasses(3);
    EXPECT_EQ(own ? ext_->Written(0).size() : 0, sent);
    slot.reset();
    EXPECT_EQ(ext_->Sessions(), 0u);
  }
}

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

// A codec change whose session could not be re-opened leaves the radio channel
// without its channel and sessions: the radio requests are refused like every
// other, and nothing is asked of the closed sessions any more.
TEST_F(RadioSlotsTest, AChannelLostInACodecChangeRefusesTheRadioRequestsToo) {
  (void)RtpED137Factory::instance();
  const uint16_t port = test_support::FreeRtpPort();
  const Lines created = Send(5, [&](LGCP::Command& command) {
    LGCP::CreateRtpParams& create = command.select_create().select_rtp();
    TERM::RtpParams& rtp = create.get_codecRTP();
    rtp.set_payload(TERM::Payload::ptG711_Alaw);
    rtp.get_dhost().set_iaddr("127.0.0.1");
    rtp.get_dhost().get_port().setValue(port);
    create.set_txPayload(TERM::Payload::ptG711_Alaw);
    create.set_rxPayload(TERM::Payload::ptG711_Alaw);
    TERM::ED137RadioResponse& response = rtp.include_radio().get_status().select_ed_137().include_radio_response();
    response.set_type(TERM::ED137RadioType::radio_txrx);
    response.set_txrxmode(TERM::ED137RadioTxRxMode::txrx);
    response.include_transmission_depend_on_squ().setValue(true);
  });
  ASSERT_EQ(created.front(), "5 success");
  const auto modifier = [](int ptt, int squ) {
    return [=](LGCP::Command& command) {
      TERM::ED137RadioModifier& ed137 = command.select_ioctl().select_rtpExt().select_ed_137();
      ed137.get_addr().set_session_addr("10.0.0.9");
      ed137.get_addr().set_session_ssrc(77);
      TERM::ED137RadioHeader& header = ed137.get_params().select_rx().get_header();
      header.get_ptt().setValue(ptt);
      header.get_squ().setValue(squ);
    };
  };
  ASSERT_EQ(Send(5, modifier(1, 1)), Lines{"5 success"});

  rtp_->FailNextRequest(0xC0105202, 1, EIO);
  ASSERT_EQ(
      Send(5, [](LGCP::Command& c) { c.select_ioctl().select_encoder_mode().setValue(LGCP::CodecMode::ulaw); }).back(),
      "5 error unsupported");
  ASSERT_EQ(ext_->Sessions(), 0u);
  EXPECT_EQ(Send(5, modifier(0, 0)), Lines{"5 error unsupported"});
  EXPECT_EQ(Send(5, modifier(1, 1)), Lines{"5 error unsupported"});
  EXPECT_EQ(ErrorText().find("filer rtp_ext session fail"), std::string::npos) << ErrorText();
  EXPECT_EQ(Destroy(5).front(), "5 success");
}

}  // namespace
