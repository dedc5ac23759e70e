#include "hardware/RtpRecordPrinters.h"

#include "platform/ByteOrder.h"
#include "platform/RtpRecords.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

template <class Record>
std::string Printed(const Record& record) {
  std::ostringstream text;
  text << record;
  return text.str();
}

TEST(RtpRecordPrinters, EachRecord) {
  rtp_connection_params params;
  params.rx_pt = 18;
  params.tx_pt = 8;
  params.packet_factor = 2;
  params.ssrc = 4000000000u;
  EXPECT_EQ(Printed(params),
            "  rtp_connection_params\n  {\n   packet_factor = 2\n   rx_pt = 18\n   tx_pt = 8\n"
            "   ssrc = 4000000000\n  }\n");
  EXPECT_EQ(Printed(rtp_attach_session_params{7, -1}),
            "  rtp_attach_session_params\n  {\n   fd_rtp = 7\n   pid_rtp = -1\n  }\n");
  EXPECT_EQ(Printed(rtp_ext_attach_session_params{9, 1234}),
            "  rtp_ext_attach_session_params\n  {\n   fd_rtp = 9\n   pid_rtp = 1234\n  }\n");
  EXPECT_EQ(Printed(rtp_ext_init_params{0x1337, {}}), "  rtp_ext_init_params\n  {\n   etype = 4919\n  }\n");
  EXPECT_EQ(Printed(rtp_channel_info{2048, -1, -1, 1}), "rtp_channel_info { tdm=2048 dev_no=-1 chn=-1 }");
}

// The records' bytes as the driver takes them.
TEST(RtpRecords, BoardLayout) {
  rtp_connection_params params{0xC0A80001, 5004, 0x0A000002, 6000, 18, 8, 2, 1, 1, 0xAABBCCDD, 64, 184};
  const auto record = rtp_device::Encode(params);
  const std::vector<uint8_t> expected{0xC0, 0xA8, 0, 1, 0x13, 0x8C, 0, 0, 10, 0,    0,    2,    0x17, 0x70, 0,
                                      18,   0,    8, 0, 2,    1,    1, 0, 0,  0xAA, 0xBB, 0xCC, 0xDD, 0,    0,
                                      0,    0,    0, 0, 0,    0,    0, 0, 0,  64,   0,    0,    0,    184};
  EXPECT_EQ(std::vector<uint8_t>(record.begin(), record.end()), expected);
  EXPECT_EQ(rtp_device::Encode(rtp_device::DecodeConnection(record)), record);
  const auto enable = rtp_device::PacketDetectorEnable(300);
  std::string words;
  for (size_t at = 0; at < enable.size(); at += 4) {
    words += std::to_string(platform::LoadBe32(&enable[at])) + " ";
  }
  EXPECT_EQ(words, "1 0 300 0 0 300 0 0 0 ");
  // Only a whole event record is an event.
  const auto event = rtp_device::Encode(rtp_event{1, 2, 3});
  EXPECT_EQ(rtp_device::DecodeEvent(event.data(), event.size())->timeout, 3u);
  EXPECT_FALSE(rtp_device::DecodeEvent(event.data(), event.size() - 1));
  EXPECT_FALSE(rtp_device::DecodeEvent(event.data(), 0));
}

}  // namespace
