#include "tests/e2e/GatewayFixture.h"

#include "platform/RtpRecords.h"
#include "tests/rtp/UdpPeer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>

namespace e2e {
namespace {

constexpr unsigned kTrunk = 6;  // trunk 1, timeslot 6: switch channel 38
constexpr unsigned kRtp = 20;

std::string Hex(const uint8_t* bytes, size_t size) {
  std::string hex;
  char digits[3];
  for (size_t i = 0; i < size; ++i) {
    std::snprintf(digits, sizeof digits, "%02x", bytes[i]);
    hex += digits;
  }
  return hex;
}

class RtpTest : public GatewayFixture {
 protected:
  // The answer to a command; signals before it are dropped.
  std::string Answer(const LGCP::Message& command) {
    if (!controller_.Send(command)) {
      return "not sent";
    }
    LGCP::Message answer;
    do {
      if (!controller_.Read(answer)) {
        return "no answer";
      }
    } while (!answer.has_seq());
    return Describe(answer);
  }
  LGCP::Message Create(int seq, uint16_t local_port) {
    return Command(seq, kRtp, [&](LGCP::Command& c) {
      LGCP::CreateRtpParams& create = c.select_create().select_rtp();
      TERM::RtpParams& rtp = create.get_codecRTP();
      rtp.set_payload(TERM::Payload::ptG729);
      rtp.get_dhost().set_iaddr("127.0.0.1");
      rtp.get_dhost().get_port().setValue(peer_.rtp_port());
      rtp.include_shost().set_iaddr("127.0.0.1");
      rtp.get_shost().get_port().setValue(local_port);
      rtp.include_ssrc().setValue(0x0BADCAFEu);
      rtp.include_qos_dscp().setValue(TERM::IpQoSDSCP::ef);
      create.set_txPayload(TERM::Payload::ptG711_Alaw);
      create.set_rxPayload(TERM::Payload::ptG729);
    });
  }
  // The packet-detector event of the session on 2048 comes back as an rtp signal.
  void ExpectDetectorSignal(uint32_t value) {
    ASSERT_EQ(board_.Ask("/dev/rtp event 2048 1 " + std::to_string(value) + " 300"), "ok");
    LGCP::Message signal;
    ASSERT_TRUE(controller_.Read(signal));
    ASSERT_TRUE(signal.get_pdu().is_signal() && signal.get_pdu().get_signal().is_rtp());
    EXPECT_EQ(signal.get_slot().getValue(), kRtp);
    const LGCP::RtpPDEvent& pd = signal.get_pdu().get_signal().get_rtp().get_pd();
    EXPECT_EQ(pd.get_value().getValue(), static_cast<int>(value));
    EXPECT_EQ(pd.get_timeout().getValue(), 300);
  }

  test_support::UdpPeer peer_;
};

TEST_F(RtpTest, AVoiceChannelLivesThroughTheController) {
  const uint16_t local_port = test_support::FreeRtpPort();
  for (const char* counts : {"4 30", "2 20", "1 60", "8 16", "0x41 8"}) {
    ASSERT_EQ(board_.Ask(std::string("/dev/voice channels ") + counts), "ok");
  }
  ASSERT_TRUE(controller_.Send(Command(1, std::nullopt, [](LGCP::Command& c) { c.select_query(); })));
  ExpectNext(controller_, {1, std::nullopt, "success"});
  LGCP::Message report;
  ASSERT_TRUE(controller_.Read(report));
  ASSERT_TRUE(report.get_pdu().is_signal() && report.get_pdu().get_signal().is_query());
  const LGCP::Resources& resources = report.get_pdu().get_signal().get_query();
  EXPECT_EQ(resources.get_rtp_g729().getValue(), 30);
  EXPECT_EQ(resources.get_rtp_g723().getValue(), 20);
  EXPECT_EQ(resources.get_rtp_g711().getValue(), 60);
  EXPECT_EQ(resources.get_rtp_g711mcc().getValue(), 16);
  EXPECT_EQ(resources.get_universal().getValue(), 8);

  // A failed add channel leaves no session open.
  ASSERT_EQ(board_.Ask("/dev/rtp fail 0xC0105202 1 EIO"), "ok");
  EXPECT_EQ(Answer(Create(2, local_port)), "error insufficientResources");
  EXPECT_EQ(board_.Ask("/dev/rtp opens"), "ok 0");

  ASSERT_TRUE(controller_.Send(Create(3, local_port)));
  ExpectNext(controller_, {3, kRtp, "success"});
  ExpectNext(controller_, {std::nullopt, kRtp, "transmitter active 2048"});
  ExpectNext(controller_, {std::nullopt, kRtp, "receiver active 2048"});
  rtp_connection_params begun{0x7F000001, peer_.rtp_port(), 0x7F000001, local_port, 18, 8, 0, 0, 0, 0x0BADCAFE, 0, 184};
  const auto record = rtp_device::Encode(begun);
  // O_NONBLOCK | O_CLOEXEC
  const std::string session = "2048:526336:" + Hex(record.data(), record.size());
  EXPECT_EQ(board_.Ask("/dev/rtp sessions"), "ok " + session + ":0:-");
  const auto sdes = peer_.Wait(1);
  ASSERT_EQ(sdes.size(), 1u);
  EXPECT_EQ(Hex(sdes[0].data(), 8), "81ca00" + Hex(&sdes[0][3], 1) + "0badcafe");

  CreateTrunkSlot(4, kTrunk, 6);
  EXPECT_EQ(Answer(Connect(5, kTrunk, kRtp)), "success");
  EXPECT_EQ(board_.Ask("/dev/rtp sessions"), "ok " + session + ":1:-");
  EXPECT_EQ(board_.Ask("/dev/hal output 2048"), "ok source 38");
  EXPECT_EQ(Answer(Disconnect(6, kRtp)), "success");
  EXPECT_EQ(board_.Ask("/dev/rtp sessions"), "ok " + session + ":0:-");

  EXPECT_EQ(Answer(Command(7, kRtp, [](LGCP::Command& c) { c.select_ioctl().select_pd_enable().set_timeout(300); })),
            "success");
  ExpectDetectorSignal(1);
  // The codec change re-opens the session on its channel with the detector on; events still come.
  EXPECT_EQ(
      Answer(Command(8, kRtp,
                     [](LGCP::Command& c) { c.select_ioctl().select_encoder_mode().setValue(LGCP::CodecMode::ulaw); })),
      "success");
  begun.tx_pt = 0;
  const auto changed = rtp_device::Encode(begun);
  EXPECT_EQ(board_.Ask("/dev/rtp sessions"), "ok 2048:526336:" + Hex(changed.data(), changed.size()) + ":0:300");
  ExpectDetectorSignal(0);

  EXPECT_EQ(Answer(Destroy(9, kRtp)), "success");
  const std::string requests = board_.Ask("/dev/rtp requests");
  EXPECT_NE(requests.find("0x2000520a=0 0x20005203=0 0x2000520b=0 0x8004520d:00000001"), std::string::npos) << requests;
  EXPECT_EQ(board_.Ask("/dev/rtp opens"), "ok 0");
  const auto bye = peer_.Wait(1);
  ASSERT_EQ(bye.size(), 1u);
  EXPECT_EQ(Hex(bye[0].data(), bye[0].size()), "81cb00040badcafe0b73657373696f6e20656e64");
}

}  // namespace
}  // namespace e2e
