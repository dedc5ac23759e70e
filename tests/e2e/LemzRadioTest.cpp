// LEMZ radio channels through the server binary: the controller creates an RTP slot with a LEMZ radio status, the
// simulated /dev/rtp_ext plays the workstations, and the clock moves through the board's control socket.
#include "tests/e2e/GatewayFixture.h"
#include "tests/rtp/UdpPeer.h"
#include "tests/support/LemzGolden.h"

#include <functional>
#include <string>

namespace e2e {
namespace {

constexpr unsigned kSlot = 31;

class LemzRadioTest : public GatewayFixture {
 protected:
  void CreateSlot(const std::function<void(TERM::RtpParams&)>& extra = nullptr) {
    LGCP::Message message = Command(1, kSlot);
    LGCP::CreateRtpParams& create = message.get_pdu().get_command().select_create().select_rtp();
    TERM::RtpParams& rtp = create.get_codecRTP();
    rtp.set_payload(TERM::Payload::ptG711_Alaw);
    rtp.get_dhost().set_iaddr("127.0.0.1");
    rtp.get_dhost().get_port().setValue(test_support::FreeRtpPort());
    create.set_txPayload(TERM::Payload::ptG711_Alaw);
    create.set_rxPayload(TERM::Payload::ptG711_Alaw);
    TERM::RtpRadioRequest& radio = rtp.include_radio();
    ASSERT_TRUE(radio.get_status().setFromValueNotation(std::string("lemz : ") + test::kLemzCreateStatus));
    radio.include_tx_delay().setValue(40);
    radio.include_bss_enable().setValue(true);
    if (extra) {
      extra(rtp);
    }
    ASSERT_TRUE(controller_.Send(message));
    ExpectNext(controller_, {1, kSlot, "success"});
    ASSERT_TRUE(controller_.Sync());
  }

  void Ioctl(int seq, const std::function<void(LGCP::IoctlParams&)>& fill) {
    ASSERT_TRUE(controller_.Send(Command(seq, kSlot, [&](LGCP::Command& c) { fill(c.select_ioctl()); })));
    ExpectNext(controller_, {seq, kSlot, "success"});
  }

  // The sender of the next rtpExt signal.
  std::string NextReport() {
    LGCP::Message message;
    if (!controller_.Read(message) || !message.get_pdu().is_signal()) {
      return "no signal";
    }
    const LGCP::Signal& signal = message.get_pdu().get_signal();
    if (!signal.is_rtpExt() || !signal.get_rtpExt().has_request()) {
      return Describe(message);
    }
    return signal.get_rtpExt().get_request().get_lemz().get_addr().get_session_addr();
  }

  std::string Ask(const std::string& command) { return board_.Ask(command); }
  // The written packets once the loop has run the timers of the new time: a few round trips, each at least one
  // loop pass.
  std::string Written() {
    std::string written = "ok";
    for (int pass = 0; pass < 5 && written == "ok" && controller_.Sync(); ++pass) {
      written = Ask("/dev/rtp_ext written 0");
    }
    return written;
  }
  size_t Count(const std::string& text, const std::string& what) {
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
      ++count;
    }
    return count;
  }
};

TEST_F(LemzRadioTest, GatewayArbitratesAndAnnounces) {
  // rtp-e2m without a mode: an extension session of the slot's own.
  CreateSlot([](TERM::RtpParams& rtp) {
    rtp.include_rtp_e2m().set_slot(1);
    rtp.get_rtp_e2m().set_channel(2);
  });
  EXPECT_EQ(Ask("/dev/rtp_ext init 0"), "ok 1337000000000000000000000000000000000000");
  EXPECT_EQ(Ask("/dev/rtp_ext attached 0").substr(0, 6), "ok yes");
  EXPECT_TRUE(server_.WaitForOutput("rx=0 tx=40 selcal=0"));
  EXPECT_TRUE(server_.WaitForOutput("DSPROC_ENABLE BSS done"));
  EXPECT_EQ(Ask("/dev/rtp_ext attached 0").substr(Ask("/dev/rtp_ext attached 0").rfind(' ') + 1),
            std::to_string(server_.pid()));
  // The create status is stored, not sent; each second the flags, channel, remote selection and standby go out.
  EXPECT_EQ(Ask("/dev/rtp_ext written 0"), "ok");
  EXPECT_EQ(Ask("clock advance 1000"), "ok");
  EXPECT_EQ(Written(), "ok 81f00000 84f000000000000442ec000002020000 86f0000001020000 87f0000000000100");

  // A burst of one workstation's push-to-talk: one report.
  EXPECT_EQ(Ask("/dev/rtp_ext inject 0 9 10.0.0.9 03040000 5"), "ok 5");
  EXPECT_EQ(NextReport(), "10.0.0.9");
  // The controller gives the channel to 10.0.0.5 with priority 5: announced at once, the filter set.
  Ioctl(2, [](LGCP::IoctlParams& p) {
    ASSERT_TRUE(p.select_rtpExt().setFromValueNotation(
        "lemz : { addr { session-addr \"10.0.0.5\", session-ssrc 1 }, params wm-trans : { flags { prio 5, ptt TRUE, "
        "bss FALSE, vad-rx FALSE, vad-tx FALSE, sql FALSE, sh FALSE, pwr FALSE, rv FALSE, resv FALSE, selcall 0, li 0 "
        "}, ip \"10.0.0.5\", ssrc 1 } }"));
  });
  EXPECT_EQ(Ask("/dev/rtp_ext filter 0"), "ok 10.0.0.5");
  // A lower priority is refused, a higher one pre-empts.
  EXPECT_EQ(Ask("/dev/rtp_ext inject 0 9 10.0.0.8 03940000"), "ok 1");
  EXPECT_EQ(Ask("/dev/rtp_ext inject 0 9 10.0.0.7 03040000"), "ok 1");
  EXPECT_EQ(NextReport(), "10.0.0.7");
  // Where the filter held back the extension packets too, no one could pre-empt the holder.
  EXPECT_EQ(Ask("/dev/rtp_ext scope all"), "ok");
  EXPECT_EQ(Ask("/dev/rtp_ext inject 0 9 10.0.0.7 03040000"), "ok 0");
  EXPECT_EQ(Ask("/dev/rtp_ext inject 0 9 10.0.0.5 01000000"), "ok 1");
  EXPECT_EQ(NextReport(), "10.0.0.5");

  ASSERT_TRUE(controller_.Send(Destroy(3, kSlot)));
  ExpectNext(controller_, {3, kSlot, "success"});
}

// Joined to another process's session: no extension session; after a codec change the join is repeated.
TEST_F(LemzRadioTest, JoinsAnotherSessionAgainAfterACodecChange) {
  CreateSlot([](TERM::RtpParams& rtp) {
    TERM::RtpE2M& e2m = rtp.include_rtp_e2m();
    e2m.set_slot(1);
    e2m.set_channel(2);
    TERM::RtpExtDescription& only = e2m.include_mode().select_only_rtp();
    only.set_fd(7);
    only.set_pid(1234);
  });
  EXPECT_EQ(Ask("/dev/rtp_ext init 0").substr(0, 5), "error");
  EXPECT_EQ(Count(Ask("/dev/rtp requests"), "0xc0085209"), 1u);
  Ioctl(2, [](LGCP::IoctlParams& p) { p.select_encoder_mode().setValue(1); });
  EXPECT_EQ(Count(Ask("/dev/rtp requests"), "0xc0085209"), 2u);
  ASSERT_TRUE(controller_.Send(Destroy(3, kSlot)));
  ExpectNext(controller_, {3, kSlot, "success"});
}

}  // namespace
}  // namespace e2e
