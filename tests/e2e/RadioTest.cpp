// ED-137 radio channels through the server binary: the controller creates an
// RTP slot with an ED-137 radio status, the simulated /dev/rtp_ext plays the
// far end, and the clock moves through the board's control socket.
#include "tests/e2e/GatewayFixture.h"
#include "tests/rtp/UdpPeer.h"

#include <string>

namespace e2e {
namespace {

constexpr unsigned kSlot = 30;

class RadioTest : public GatewayFixture {
 protected:
  LGCP::Message Create(int seq, bool depend_on_squ) {
    LGCP::Message message = Command(seq, kSlot);
    LGCP::CreateRtpParams& create = message.get_pdu().get_command().select_create().select_rtp();
    TERM::RtpParams& rtp = create.get_codecRTP();
    rtp.set_payload(TERM::Payload::ptG711_Alaw);
    rtp.get_dhost().set_iaddr("127.0.0.1");
    rtp.get_dhost().get_port().setValue(test_support::FreeRtpPort());
    rtp.include_shost().set_iaddr("127.0.0.1");
    rtp.get_shost().get_port().setValue(test_support::FreeRtpPort());
    create.set_txPayload(TERM::Payload::ptG711_Alaw);
    create.set_rxPayload(TERM::Payload::ptG711_Alaw);
    TERM::ED137RadioStatus& status = rtp.include_radio().get_status().select_ed_137();
    status.get_header().set_squ(TERM::ED137RadioSQU::squ_on);
    TERM::ED137RadioResponse& response = status.include_radio_response();
    response.set_type(TERM::ED137RadioType::radio_txrx);
    response.set_txrxmode(TERM::ED137RadioTxRxMode::txrx);
    if (depend_on_squ) {
      response.include_transmission_depend_on_squ().setValue(true);
    }
    return message;
  }

  // Creates the slot and reads its answer and stream signals.
  void CreateSlot(bool depend_on_squ = true) {
    ASSERT_TRUE(controller_.Send(Create(1, depend_on_squ)));
    ExpectNext(controller_, {1, kSlot, "success"});
    // The stream signals go out before the create hook has finished.
    ASSERT_TRUE(controller_.Sync());
  }

  LGCP::Message Ioctl(int seq, const std::function<void(LGCP::IoctlParams&)>& fill) {
    return Command(seq, kSlot, [&](LGCP::Command& c) { fill(c.select_ioctl()); });
  }

  // The next signal of the slot, as "abort <cause>" or "rtpExt ptt <n>".
  std::string NextRadioSignal() {
    LGCP::Message message;
    if (!controller_.Read(message) || !message.get_pdu().is_signal()) {
      return "no signal";
    }
    const LGCP::Signal& signal = message.get_pdu().get_signal();
    if (signal.is_abort()) {
      return "abort " + std::to_string(signal.get_abort().getValue());
    }
    if (signal.is_rtpExt() && signal.get_rtpExt().has_request()) {
      const auto& params = signal.get_rtpExt().get_request().get_ed_137().get_params();
      return "rtpExt ptt " + std::to_string(params.get_tx().get_header().get_ptt().getValue());
    }
    return Describe(message);
  }

  std::string Ask(const std::string& command) { return board_.Ask(command); }
};

TEST_F(RadioTest, CreatesKeepsAliveReportsAndSupervises) {
  CreateSlot();
  EXPECT_EQ(Ask("/dev/rtp_ext init 0"), "ok 01670000000000010000007b0000000a00000001");
  EXPECT_EQ(Ask("/dev/rtp_ext attached 0").substr(0, 6), "ok yes");
  // The create status went out, and its open squelch started the input.
  EXPECT_EQ(Ask("/dev/rtp_ext written 0"), "ok 10000000");
  EXPECT_NE(Ask("/dev/rtp requests").find("0x20005204"), std::string::npos);

  // A burst of one far-end state and a second sender: one signal per change.
  EXPECT_EQ(Ask("/dev/rtp_ext inject 0 9 10.0.0.9 2040 5"), "ok 5");
  EXPECT_EQ(NextRadioSignal(), "rtpExt ptt 1");
  EXPECT_EQ(Ask("/dev/rtp_ext inject 0 9 10.0.0.9 2040 3"), "ok 3");
  EXPECT_EQ(Ask("/dev/rtp_ext inject 0 9 10.0.0.9 0040"), "ok 1");
  EXPECT_EQ(NextRadioSignal(), "rtpExt ptt 0");

  // Keep-alive each second; after two silent seconds abort 151 each second.
  EXPECT_EQ(Ask("clock advance 1000"), "ok");
  EXPECT_EQ(Ask("clock advance 1000"), "ok");
  EXPECT_EQ(NextRadioSignal(), "abort 151");
  EXPECT_EQ(Ask("clock advance 1000"), "ok");
  EXPECT_EQ(NextRadioSignal(), "abort 151");
  ASSERT_TRUE(controller_.Sync());
  EXPECT_EQ(Ask("/dev/rtp_ext written 0").substr(0, 20), "ok 10000000 10000000");

  // A modifier with PTT on: the packet and the receive filter; squelch off
  // closes the input.
  ASSERT_TRUE(controller_.Send(Ioctl(2, [](LGCP::IoctlParams& p) {
    TERM::ED137RadioModifier& modifier = p.select_rtpExt().select_ed_137();
    modifier.get_addr().set_session_addr("10.0.0.9");
    modifier.get_params().select_rx().get_header().set_ptt(TERM::ED137RadioPTT::normal_ptt_on);
  })));
  ExpectNext(controller_, {2, kSlot, "success"});
  EXPECT_EQ(Ask("/dev/rtp_ext filter 0"), "ok 10.0.0.9");
  EXPECT_NE(Ask("/dev/rtp requests").find("0x20005205"), std::string::npos);

  // A codec change: detached, the session swapped, attached to the new one.
  ASSERT_TRUE(controller_.Send(Ioctl(3, [](LGCP::IoctlParams& p) { p.select_encoder_mode().setValue(1); })));
  ExpectNext(controller_, {3, kSlot, "success"});
  const std::string requests = Ask("/dev/rtp_ext requests");
  EXPECT_NE(requests.find("0x20004502"), std::string::npos);
  EXPECT_EQ(Ask("/dev/rtp_ext attached 0").substr(0, 6), "ok yes");

  ASSERT_TRUE(controller_.Send(Destroy(4, kSlot)));
  ExpectNext(controller_, {4, kSlot, "success"});
  EXPECT_EQ(Ask("/dev/rtp_ext attached 0").substr(0, 5), "error");
}

// A session that worked and then hung up is a radio link lost: the controller
// goes on hearing abort 151 each second, as for a far end gone silent.
TEST_F(RadioTest, GoesOnSupervisingAfterTheExtensionDeviceHangsUp) {
  CreateSlot();
  EXPECT_EQ(Ask("/dev/rtp_ext hangup"), "ok");
  ASSERT_TRUE(server_.WaitForOutput("rtp_ext session hung up, no longer watched"));
  EXPECT_EQ(Ask("clock advance 1000"), "ok");
  for (int second = 2; second <= 4; ++second) {
    EXPECT_EQ(Ask("clock advance 1000"), "ok");
    EXPECT_EQ(NextRadioSignal(), "abort 151") << "second " << second;
  }
  ASSERT_TRUE(controller_.Sync());
  EXPECT_EQ(Ask("/dev/rtp_ext opens"), "ok 0");
}

TEST_F(RadioTest, WorksAsPlainRtpWithoutTheExtensionDevice) {
  EXPECT_EQ(Ask("/dev/rtp_ext absent on"), "ok");
  CreateSlot(false);
  // The control still takes modifiers; nothing reaches the missing device.
  ASSERT_TRUE(controller_.Send(Ioctl(2, [](LGCP::IoctlParams& p) {
    p.select_rtpExt().select_ed_137().get_params().select_tx().get_header().set_ptt(TERM::ED137RadioPTT::normal_ptt_on);
  })));
  ExpectNext(controller_, {2, kSlot, "success"});
  ASSERT_TRUE(controller_.Send(Destroy(3, kSlot)));
  ExpectNext(controller_, {3, kSlot, "success"});
}

}  // namespace
}  // namespace e2e
