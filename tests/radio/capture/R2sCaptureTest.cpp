// The R2S headers the ED-137 control writes, and far-end headers the codec
// packs, wrapped into RTP packets (IPv4, UDP, header extension profile 0x0167)
// and read back by tshark's ED-137 decoder.
#include "platform/Device.h"
#include "platform/sim/Board.h"
#include "platform/sim/RtpExtDriver.h"
#include "radio/ED137RadioControl.h"
#include "schemas/TERM.h"
#include "tests/support/BoardRoot.h"
#include "tests/support/ControlLoop.h"
#include "tests/support/Pcap.h"

#include <gtest/gtest.h>

#include <fcntl.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
constexpr uint32_t kLinkTypeRawIp = 101;

void PutBe(Bytes& out, uint32_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) {
    out.push_back(static_cast<uint8_t>(value >> (8 * i)));
  }
}

// One RTP packet in UDP in IPv4 carrying the extension body.
Bytes RtpPacket(const Bytes& extension, uint16_t sequence) {
  Bytes rtp{0x90, 0x08};
  PutBe(rtp, sequence, 2);
  PutBe(rtp, sequence * 160u, 4);
  PutBe(rtp, 0x1234, 4);
  Bytes body = extension;
  body.resize((body.size() + 3) / 4 * 4, 0);
  PutBe(rtp, 0x0167, 2);
  PutBe(rtp, static_cast<uint32_t>(body.size() / 4), 2);
  rtp.insert(rtp.end(), body.begin(), body.end());
  rtp.insert(rtp.end(), 160, 0xd5);
  Bytes ip{0x45, 0};
  PutBe(ip, static_cast<uint32_t>(28 + rtp.size()), 2);
  ip.insert(ip.end(), {0, 0, 0, 0, 64, 17, 0, 0, 10, 0, 0, 1, 10, 0, 0, 2});
  PutBe(ip, 5004, 2);
  PutBe(ip, 5004, 2);
  PutBe(ip, static_cast<uint32_t>(8 + rtp.size()), 2);
  PutBe(ip, 0, 2);
  ip.insert(ip.end(), rtp.begin(), rtp.end());
  return ip;
}

TERM::RadioModifier Modifier(bool rx, int ptt, int squ, int ptt_id) {
  TERM::RadioModifier modifier;
  TERM::ED137RadioModifier& ed137 = modifier.select_ed_137();
  ed137.get_addr().set_session_addr("10.0.0.9");
  TERM::ED137RadioHeader* header = &ed137.get_params().select_tx().get_header();
  if (rx) {
    TERM::ED137RadioRxCommand& command = ed137.get_params().select_rx();
    command.include_sqi().get_bss_method().setValue(TERM::ED137RadioBSSMethod::agc);
    command.include_sqi().set_bss_quality(20);
    header = &command.get_header();
  }
  header->get_ptt().setValue(ptt);
  header->get_squ().setValue(squ);
  header->set_ptt_id(static_cast<unsigned>(ptt_id));
  return modifier;
}

TEST(R2sCaptureTest, TsharkDecodesWhatTheControlWrites) {
  if (!test_support::HaveTshark()) {
    GTEST_SKIP() << "tshark is not installed";
  }
  TempBoardRoot root;
  control_test::FrozenClock clock;
  sim::Board::instance().Reset();
  if (sim::Board::instance().Find("/dev/rtp") == nullptr) {
    sim::Board::instance().Install(std::make_unique<sim::Driver>("/dev/rtp"));
  }
  auto* ext = sim::Board::instance().Find<sim::RtpExtDriver>("/dev/rtp_ext");
  const int rtp = platform::Open("/dev/rtp", O_RDWR);
  std::vector<Bytes> bodies;
  {
    RTPSignalling::ED137RadioGWControl control(
        1, rtp_ext_attach_session_params{rtp, -1},
        RTPSignalling::MakeED137InitParams(RTPSignalling::ED137RadioParams{}, 0));
    ASSERT_TRUE(control.SendASNToChan(Modifier(true, 1, 1, 5)));
    ASSERT_TRUE(control.SendASNToChan(Modifier(false, 4, 0, 63)));
    bodies = ext->Written(0);
  }
  platform::Close(rtp);
  r2s_proto far_end;
  r2s_proto_init(&far_end, 0);
  r2s_proto_set_tx_header(&far_end, 3, 7, 1, 0);
  uint8_t packed[16];
  const int length = r2s_proto_pack(&far_end, packed, sizeof packed);
  ASSERT_EQ(length, 4);
  bodies.emplace_back(packed, packed + length);

  std::vector<test_support::HdlcEnd::Frame> frames;
  for (size_t i = 0; i < bodies.size(); ++i) {
    frames.push_back(
        test_support::HdlcEnd::Frame{static_cast<uint32_t>(i * 20), RtpPacket(bodies[i], static_cast<uint16_t>(i))});
  }
  const std::string path = root.Path("/r2s.pcap");
  ASSERT_TRUE(test_support::WritePcap(path, kLinkTypeRawIp, {}, frames));
  const auto out = test_support::RunTshark({"-r", path,
                                            "-d", "udp.port==5004,rtp",
                                            "-T", "fields",
                                            "-E", "separator=,",
                                            "-e", "rtp.ext.ed137a.ptt_type",
                                            "-e", "rtp.ext.ed137a.squ",
                                            "-e", "rtp.ext.ed137a.ptt_id",
                                            "-e", "rtp.ext.ed137a.ft.sqi.qidx",
                                            "-e", "rtp.ext.ed137a.ft.sqi.qidx-ml",
                                            "-e", "_ws.malformed"});
  ASSERT_TRUE(out.has_value());
  EXPECT_EQ(*out, "1,1,5,20,1,\n4,0,63,,,\n3,0,7,,,\n");
}

}  // namespace
