#include "rtp/RtpFactory.h"

#include "platform/sim/Board.h"
#include "tests/rtp/UdpPeer.h"
#include "tests/slots/SlotsHarness.h"
#include "tests/support/Pcap.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;

constexpr uint32_t kLinkTypeIpv4 = 228;
constexpr uint16_t kRtcpPort = 40001;
constexpr uint16_t kPeerRtcpPort = 40003;

// The datagram as an IPv4/UDP packet from 127.0.0.1 to 127.0.0.1 (UDP
// checksum 0: not computed).
Bytes Ipv4Udp(const Bytes& payload) {
  const size_t udp_length = 8 + payload.size();
  const size_t total = 20 + udp_length;
  Bytes packet{0x45,
               0,
               static_cast<uint8_t>(total >> 8),
               static_cast<uint8_t>(total),
               0,
               0,
               0x40,
               0,
               64,
               17,
               0,
               0,
               127,
               0,
               0,
               1,
               127,
               0,
               0,
               1};
  uint32_t sum = 0;
  for (size_t i = 0; i < 20; i += 2) {
    sum += uint32_t{packet[i]} << 8 | packet[i + 1];
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  sum = ~((sum & 0xFFFF) + (sum >> 16)) & 0xFFFF;
  packet[10] = static_cast<uint8_t>(sum >> 8);
  packet[11] = static_cast<uint8_t>(sum);
  const Bytes udp{kRtcpPort >> 8,
                  kRtcpPort & 0xFF,
                  kPeerRtcpPort >> 8,
                  kPeerRtcpPort & 0xFF,
                  static_cast<uint8_t>(udp_length >> 8),
                  static_cast<uint8_t>(udp_length),
                  0,
                  0};
  packet.insert(packet.end(), udp.begin(), udp.end());
  packet.insert(packet.end(), payload.begin(), payload.end());
  return packet;
}

class RtcpCapture : public SlotsTest {
 protected:
  void SetUp() override {
    if (!test_support::HaveTshark()) {
      GTEST_SKIP() << "tshark is not installed";
    }
    SlotsTest::SetUp();
    (void)RtpFactory::instance();
    std::string pattern = ::testing::TempDir() + "rtcp-XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  std::string dir_;
};

TEST_F(RtcpCapture, TsharkReadsTheSessionsSdesAndBye) {
  test_support::UdpPeer peer;
  const Lines created = Send(3, [&](LGCP::Command& command) {
    LGCP::CreateRtpParams& create = command.select_create().select_rtp();
    TERM::RtpParams& rtp = create.get_codecRTP();
    rtp.set_payload(TERM::Payload::ptG729);
    rtp.get_dhost().set_iaddr("127.0.0.1");
    rtp.get_dhost().get_port().setValue(peer.rtp_port());
    rtp.include_shost().set_iaddr("127.0.0.1");
    rtp.get_shost().get_port().setValue(test_support::FreeRtpPort());
    rtp.include_ssrc().setValue(0x5EED1234u);
    create.set_txPayload(TERM::Payload::ptG729);
    create.set_rxPayload(TERM::Payload::ptG729);
  });
  ASSERT_EQ(created.front(), "3 success");
  ASSERT_EQ(Destroy(3).front(), "3 success");
  std::vector<test_support::HdlcEnd::Frame> packets;
  for (const Bytes& datagram : peer.Received()) {
    packets.push_back({static_cast<uint32_t>(packets.size()), Ipv4Udp(datagram)});
  }
  ASSERT_EQ(packets.size(), 2u);
  const std::string path = dir_ + "/rtcp.pcap";
  ASSERT_TRUE(test_support::WritePcap(path, kLinkTypeIpv4, {}, packets));
  const std::string as_rtcp = "udp.port==" + std::to_string(kPeerRtcpPort) + ",rtcp";
  EXPECT_EQ(test_support::RunTshark(
                {"-r", path, "-d", as_rtcp, "-Y", "_ws.malformed || _ws.expert.severity >= 4194304 || !rtcp"}),
            "");
  // The SSRC of each packet, the SDES item types (and the list's end) and texts, the BYE reason.
  EXPECT_EQ(test_support::RunTshark({"-r", path, "-d", as_rtcp, "-T", "fields", "-e", "rtcp.pt", "-e",
                                     "rtcp.ssrc.identifier", "-e", "rtcp.sdes.type", "-e", "rtcp.sdes.text"}),
            "202\t0x5eed1234\t1,3,4,0\tVostrel Kellamor,support@vostrel.example,+1 555 0100\n"
            "203\t0x5eed1234\t\tsession end\n");
}

}  // namespace
