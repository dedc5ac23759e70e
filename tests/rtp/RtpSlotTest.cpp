#include "rtp/RtpFactory.h"

#include "hardware/TonecReceiverService.h"
#include "platform/RtpRecords.h"
#include "platform/sim/Board.h"
#include "platform/sim/DtmfDriver.h"
#include "platform/sim/RtpDriver.h"
#include "tests/rtp/UdpPeer.h"
#include "tests/slots/SlotsHarness.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;
using Bytes = std::vector<uint8_t>;
using sim::RtpDriver;
using test_support::UdpPeer;
using Payload = TERM::Payload;

constexpr unsigned long kBegin = 0xC02C5200;
constexpr unsigned long kAddChannel = 0xC0105202;

class RtpSlotTest : public SlotsTest {
 protected:
  void SetUp() override {
    SlotsTest::SetUp();
    rtp_ = sim::Board::instance().Find<RtpDriver>(RtpDriver::kPath);
    ASSERT_NE(rtp_, nullptr);
    (void)RtpFactory::instance();
    local_port_ = test_support::FreeRtpPort();
  }

  using Edit = std::function<void(LGCP::CreateRtpParams&)>;
  // A G.711 A-law channel from 127.0.0.1:<local port> to the peer, edited.
  Lines CreateRtp(unsigned slot, const Edit& edit = nullptr) {
    return Send(slot, [&](LGCP::Command& command) {
      LGCP::CreateRtpParams& create = command.select_create().select_rtp();
      TERM::RtpParams& rtp = create.get_codecRTP();
      rtp.set_payload(Payload::ptG711_Alaw);
      rtp.get_dhost().set_iaddr("127.0.0.1");
      rtp.get_dhost().get_port().setValue(peer_.rtp_port());
      rtp.include_shost().set_iaddr("127.0.0.1");
      rtp.get_shost().get_port().setValue(local_port_);
      create.set_txPayload(Payload::ptG711_Alaw);
      create.set_rxPayload(Payload::ptG711_Alaw);
      if (edit) {
        edit(create);
      }
    });
  }
  Lines SendIoctl(unsigned slot, const std::function<void(LGCP::IoctlParams&)>& fill) {
    return Send(slot, [&](LGCP::Command& command) { fill(command.select_ioctl()); });
  }
  rtp_connection_params Begun(size_t session = 0) {
    const auto sessions = rtp_->Sessions();
    rtp_device::ConnectionRecord record{};
    if (session < sessions.size() && sessions[session].begin.size() == record.size()) {
      std::copy(sessions[session].begin.begin(), sessions[session].begin.end(), record.begin());
    }
    return rtp_device::DecodeConnection(record);
  }

  RtpDriver* rtp_ = nullptr;
  UdpPeer peer_;
  uint16_t local_port_ = 0;
};

TEST(RtpFactoryCodecs, TranslateEachDirection) {
  struct Case {
    Payload::NamedNumber payload, direction;
    uint32_t type;
  } cases[] = {
      {Payload::ptG711_Alaw, Payload::ptG711_Alaw, 8},
      {Payload::ptG711_Ulaw, Payload::ptG711_Ulaw, 0},
      {Payload::ptG723, Payload::ptG723, 4},
      {Payload::ptG729, Payload::ptG729, 18},
      {Payload::ptG711mcc_Alaw, Payload::ptG711mcc_Alaw, 136},
      {Payload::ptG711mcc_Ulaw, Payload::ptG711mcc_Ulaw, 128},
      {Payload::ptG728, Payload::ptG728, 15},
      {Payload::ptR2S, Payload::ptR2S, 0},
      {Payload::ptG729, Payload::ptG711_Alaw, 8},
      {Payload::ptG729, Payload::ptG711_Ulaw, 0},
      {Payload::ptG729, Payload::ptG723, 18},
      {Payload::ptG711mcc_Ulaw, Payload::ptG711_Alaw, 8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.payload) + " " + std::to_string(c.direction));
    TERM::Payload payload, direction;
    payload.setValue(c.payload);
    direction.setValue(c.direction);
    EXPECT_EQ(RtpFactory::translateCodec(payload, direction), c.type);
  }
}

TEST_F(RtpSlotTest, BeginRecordOfEachParameterSet) {
  struct Case {
    const char* name;
    Edit edit;
    rtp_connection_params expected;  // ports and the SSRC filled below
  } cases[] = {
      {"every option, ef",
       [](LGCP::CreateRtpParams& c) {
         TERM::RtpParams& rtp = c.get_codecRTP();
         rtp.set_payload(Payload::ptG729);
         c.set_txPayload(Payload::ptG711_Alaw);
         c.set_rxPayload(Payload::ptG729);
         rtp.include_pfactor().setValue(0x10002);
         rtp.include_vad().setValue(true);
         rtp.include_crate().setValue(5);
         rtp.include_ssrc().setValue(0x11223344u);
         rtp.include_ttl().setValue(64);
         rtp.include_qos_dscp().setValue(TERM::IpQoSDSCP::ef);
       },
       {0x7F000001, 0, 0x7F000001, 0, 18, 8, 2, 1, 1, 0x11223344, 64, 184}},
      {"no shost, no options",
       [](LGCP::CreateRtpParams& c) { c.get_codecRTP().omit_shost(); },
       {0x7F000001, 0, 0, 0, 8, 8, 0, 0, 0, 0, 0, -1}},
      {"G.723 falling back to u-law, crate 0, af41",
       [](LGCP::CreateRtpParams& c) {
         TERM::RtpParams& rtp = c.get_codecRTP();
         rtp.set_payload(Payload::ptG723);
         c.set_txPayload(Payload::ptG723);
         c.set_rxPayload(Payload::ptG711_Ulaw);
         rtp.include_crate().setValue(0);
         rtp.include_vad().setValue(false);
         rtp.include_qos_dscp().setValue(TERM::IpQoSDSCP::af41);
       },
       {0x7F000001, 0, 0x7F000001, 0, 0, 4, 0, 0, 0, 0, 0, 136}},
  };
  unsigned slot = 10;
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(CreateRtp(slot, c.edit).front(), std::to_string(slot) + " success");
    const bool has_shost = c.expected.local_ip != 0;
    c.expected.remote_port = peer_.rtp_port();
    c.expected.local_port = has_shost ? local_port_ : peer_.rtp_port();
    if (c.expected.ssrc == 0) {
      c.expected.ssrc = Begun().ssrc;
    }
    const rtp_device::ConnectionRecord record = rtp_device::Encode(c.expected);
    EXPECT_EQ(rtp_->Sessions()[0].begin, Bytes(record.begin(), record.end()));
    EXPECT_EQ(peer_.Received().size(), 1u);
    (void)Destroy(slot++);
    (void)peer_.Received();
  }
}

TEST_F(RtpSlotTest, RefusedCreatesLeaveNothingOpen) {
  struct Case {
    const char* name;
    Edit edit;
    std::function<void()> fault;
    const char* line;  // in the logs
  } cases[] = {
      {"reserved payload", [](auto& c) { c.get_codecRTP().set_payload(Payload::reserv_2); }, nullptr, ""},
      {"R2S payload", [](auto& c) { c.get_codecRTP().set_payload(Payload::ptR2S); }, nullptr, ""},
      {"radio part", [](auto& c) { c.get_codecRTP().include_radio().get_status().select_lemz(); }, nullptr, ""},
      {"bad dhost", [](auto& c) { c.get_codecRTP().get_dhost().set_iaddr("300.1.2.3"); }, nullptr, "dhost address"},
      {"bad shost", [](auto& c) { c.get_codecRTP().get_shost().set_iaddr("gateway"); }, nullptr, "shost address"},
      {"local port 65535", [](auto& c) { c.get_codecRTP().get_shost().get_port().setValue(65535); }, nullptr,
       "local RTP port 65535"},
      {"device open", nullptr, [this] { rtp_->FailNext(sim::Call::kOpen, 1, EIO); }, "open fail"},
      {"begin session", nullptr, [this] { rtp_->FailNextRequest(kBegin, 1, EINVAL); }, "begin session fail"},
      {"add channel", nullptr, [this] { rtp_->FailNextRequest(kAddChannel, 1, ENOSPC); }, "add channel fail"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.fault) {
      c.fault();
    }
    EXPECT_EQ(CreateRtp(4, c.edit), Lines{"4 error insufficientResources"});
    EXPECT_NE(ErrorText().find(c.line), std::string::npos);
    EXPECT_TRUE(rtp_->Sessions().empty());
    EXPECT_TRUE(peer_.Received().empty());
  }
}

TEST_F(RtpSlotTest, FarEndPort65535HasNoRtcp) {
  const Lines lines = CreateRtp(4, [](auto& c) { c.get_codecRTP().get_dhost().get_port().setValue(65535); });
  EXPECT_EQ(lines.front(), "4 success");
  EXPECT_NE(ErrorText().find("far-end RTP port 65535"), std::string::npos);
  (void)Destroy(4);
  EXPECT_TRUE(peer_.Received().empty());
}

TEST_F(RtpSlotTest, PacketDetectorEventsBecomeSignals) {
  CreateRtp(2);
  EXPECT_EQ(SendIoctl(2, [](auto& p) { p.select_pd_enable().set_timeout(300); }), Lines{"2 success"});
  EXPECT_EQ(rtp_->Sessions()[0].detector_timeout, 300u);
  ASSERT_TRUE(rtp_->InjectEvent(2048, 1, 1, 300));
  ASSERT_TRUE(rtp_->InjectEvent(2048, 2, 1, 300));
  // A short record ends the drain with a line; what follows is read next time.
  ASSERT_TRUE(rtp_->InjectShort(2048, 20));
  ASSERT_TRUE(rtp_->InjectEvent(2048, 1, 0, 40));
  EXPECT_EQ(Received(), (Lines{"2 rtp : pd : { value 1, timeout 300}", "2 rtp : pd : { value 0, timeout 40}"}));
  EXPECT_NE(ErrorText().find("rtp[2048]: rtp event of 20 bytes dropped"), std::string::npos);
  EXPECT_EQ(SendIoctl(2, [](auto& p) { p.select_pd_disable(); }), Lines{"2 success"});
  EXPECT_FALSE(rtp_->Sessions()[0].detector_timeout);
  // A hung-up session is given up with one line, and the loop goes on.
  ASSERT_TRUE(rtp_->HangUpSession(2048));
  EXPECT_TRUE(Received().empty());
  EXPECT_NE(ErrorText().find("hung up"), std::string::npos);
}

TEST_F(RtpSlotTest, CodecChangeReopensTheSessionOnItsChannel) {
  CreateRtp(5, [](auto& c) { c.set_rxPayload(Payload::ptG711_Ulaw); });
  CreateProbe(1, 401, 401);
  ASSERT_EQ(Connect(5, 1).back(), "5 success");
  ASSERT_EQ(Connect(1, 5).back(), "1 success");
  ASSERT_TRUE(rtp_->Sessions()[0].input_started);
  EXPECT_EQ(SendIoctl(5, [](auto& p) { p.select_pd_enable().set_timeout(300); }), Lines{"5 success"});
  const size_t opens = rtp_->Opened();
  struct Step {
    bool encoder;
    LGCP::CodecMode::NamedNumber mode;
    uint16_t tx_pt, rx_pt;
    size_t new_opens;
  } steps[] = {
      {true, LGCP::CodecMode::alaw, 8, 0, 0},  // nothing to do
      {true, LGCP::CodecMode::ulaw, 0, 0, 1},
      {false, LGCP::CodecMode::alaw, 0, 8, 2},
      {false, LGCP::CodecMode::lbrc, 0, 0, 3},  // the receive type given at creation
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(std::to_string(s.mode));
    EXPECT_EQ(
        SendIoctl(5,
                  [&](auto& p) { (s.encoder ? p.select_encoder_mode() : p.select_decoder_mode()).setValue(s.mode); }),
        Lines{"5 success"});
    ASSERT_EQ(rtp_->Sessions().size(), 1u);
    EXPECT_EQ(rtp_->Sessions()[0].channel, 2048);
    EXPECT_EQ(rtp_->Opened(), opens + s.new_opens);
    EXPECT_EQ(Begun().tx_pt, s.tx_pt);
    EXPECT_EQ(Begun().rx_pt, s.rx_pt);
    // The detector the controller enabled and the started input go on with the new session.
    EXPECT_EQ(rtp_->Sessions()[0].detector_timeout, 300u);
    EXPECT_TRUE(rtp_->Sessions()[0].input_started);
    ASSERT_TRUE(rtp_->InjectEvent(2048, 1, 1, 10));
    EXPECT_EQ(Received().size(), 1u);
  }
  EXPECT_EQ(SendIoctl(5, [](auto& p) { p.select_pd_disable(); }), Lines{"5 success"});
  EXPECT_EQ(SendIoctl(5, [](auto& p) { p.select_encoder_mode().setValue(LGCP::CodecMode::alaw); }), Lines{"5 success"});
  EXPECT_FALSE(rtp_->Sessions()[0].detector_timeout);
  EXPECT_EQ(SendIoctl(5, [](auto& p) { p.select_encoder_mode().setValue(LGCP::CodecMode::ulaw); }), Lines{"5 success"});
  EXPECT_EQ(SendIoctl(5, [](auto& p) { p.select_mute_enable(); }), Lines{"5 error unsupported"});
  // A failed restart answers unsupported and keeps no session.
  rtp_->FailNextRequest(kAddChannel, 1, EIO);
  EXPECT_EQ(SendIoctl(5, [](auto& p) { p.select_encoder_mode().setValue(LGCP::CodecMode::alaw); }).back(),
            "5 error unsupported");
  EXPECT_TRUE(rtp_->Sessions().empty());
  EXPECT_NE(ErrorText().find("fail to restart RTP session!"), std::string::npos);
}

// After a failed restart the driver hands the channel to the next session:
// the slot cuts its paths and idles its receivers while the channel is its
// own, then owns none, so nothing it does reaches the new slot's call.
TEST_F(RtpSlotTest, FailedRestartGivesUpTheChannel) {
  ASSERT_TRUE(Hardware::TonecReceiverService::instance().init());
  auto* dtmf = sim::Board::instance().Find<sim::DtmfDriver>(sim::DtmfDriver::kPath);
  using Output = sim::TdmSwitch::Output;
  using Carries = sim::TdmSwitch::Carries;
  CreateRtp(5);
  CreateProbe(1, 401, 401);
  ASSERT_EQ(Connect(5, 1).back(), "5 success");
  ASSERT_EQ(Connect(1, 5).back(), "1 success");
  ASSERT_EQ(SendIoctl(5, [](auto& p) { p.select_dtmf_enable().setValue(true); }), Lines{"5 success"});
  (void)Received();

  rtp_->FailNextRequest(kAddChannel, 1, EIO);
  EXPECT_EQ(SendIoctl(5, [](auto& p) { p.select_encoder_mode().setValue(LGCP::CodecMode::ulaw); }),
            (Lines{"5 transmitter : inactive : NULL", "5 receiver : inactive : NULL", "5 error unsupported"}));
  EXPECT_EQ(Switch().OutputOf(401), (Output{Carries::constant, 0xD5}));
  EXPECT_EQ(Switch().OutputOf(2048).carries, Carries::nothing);
  EXPECT_FALSE(dtmf->Timeslots().at(2048).detector);

  ASSERT_EQ(CreateRtp(6).front(), "6 success");
  ASSERT_EQ(SlotAt(6)->IGetTransmitChannel(), 2048);
  ASSERT_EQ(Connect(6, 1).back(), "6 success");
  ASSERT_EQ(Connect(1, 6).back(), "1 success");
  EXPECT_EQ(Connect(5, 1).back(), "5 error connectFail");
  EXPECT_EQ(SendIoctl(5, [](auto& p) { p.select_dtmf_enable().setValue(true); }), Lines{"5 error unsupported"});
  EXPECT_EQ(Destroy(5).front(), "5 success");
  EXPECT_EQ(Switch().OutputOf(401), (Output{Carries::source, 2048}));
  EXPECT_EQ(Switch().OutputOf(2048), (Output{Carries::source, 401}));
}

}  // namespace
