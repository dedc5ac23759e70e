#include "radio/ED137RadioControl.h"

#include "platform/Device.h"
#include "platform/sim/Board.h"
#include "platform/sim/RtpExtDriver.h"
#include "schemas/TERM.h"
#include "tests/support/BoardRoot.h"
#include "tests/support/ControlLoop.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <unistd.h>

#include <memory>
#include <vector>

namespace RTPSignalling {
namespace {

using Bytes = std::vector<uint8_t>;

struct Recorder : IRadioControlNotify {
  void RadioControlNotify(const TERM::RtpRadioRequest& request) override { requests.push_back(request); }
  void RadioControlNotify(int cause) override { causes.push_back(cause); }
  std::vector<TERM::RtpRadioRequest> requests;
  std::vector<int> causes;
};

TERM::RadioModifier Modifier(bool rx, int ptt, const char* address, int sqi_method = -1) {
  TERM::RadioModifier modifier;
  TERM::ED137RadioModifier& ed137 = modifier.select_ed_137();
  ed137.get_addr().set_session_addr(address);
  ed137.get_addr().set_session_ssrc(77);
  TERM::ED137RadioHeader* header;
  if (rx) {
    TERM::ED137RadioRxCommand& command = ed137.get_params().select_rx();
    header = &command.get_header();
    if (sqi_method >= 0) {
      command.include_sqi().get_bss_method().setValue(sqi_method);
      command.include_sqi().set_bss_quality(20);
    }
  } else {
    header = &ed137.get_params().select_tx().get_header();
  }
  header->get_ptt().setValue(ptt);
  header->set_ptt_id(5);
  return modifier;
}

class ED137RadioControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::Board::instance().Reset();
    if (sim::Board::instance().Find("/dev/rtp") == nullptr) {
      sim::Board::instance().Install(std::make_unique<sim::Driver>("/dev/rtp"));
    }
    ext_ = sim::Board::instance().Find<sim::RtpExtDriver>("/dev/rtp_ext");
    rtp_ = platform::Open("/dev/rtp", O_RDWR);
    ASSERT_GE(rtp_, 0);
  }
  void TearDown() override {
    control_.reset();
    platform::Close(rtp_);
  }

  void Create(const ED137RadioParams& params = ED137RadioParams{}, int32_t pid = -1, uint16_t pfactor = 0) {
    control_ = std::make_unique<ED137RadioGWControl>(3, rtp_ext_attach_session_params{rtp_, pid},
                                                     MakeED137InitParams(params, pfactor));
    control_->SetParams(params);
    control_->SetNotify(&notify_);
    control_->SetTimerInterval(params.SupervisionTime() / 2);
    control_->SetTimerEnable(true);
  }

  // Injects a far-end TX header with the given PTT type.
  void FarEnd(uint8_t ptt, size_t count = 1, uint32_t ssrc = 9, const char* from = "10.0.0.9") {
    ext_->Inject(0, {ssrc, inet_addr(from)}, Bytes{static_cast<uint8_t>(ptt << 5), 0x40}, count);
  }
  void Step(uint64_t ms) {
    clock_.Advance(ms);
    control_test::RunPasses(3);
  }

  TempBoardRoot root_;
  control_test::FrozenClock clock_;
  sim::RtpExtDriver* ext_ = nullptr;
  int rtp_ = -1;
  Recorder notify_;
  std::unique_ptr<ED137RadioGWControl> control_;
};

TEST_F(ED137RadioControlTest, StartsOrStaysWithoutSession) {
  const struct {
    const char* name;
    std::function<void(sim::RtpExtDriver&)> fault;
    int32_t pid;
    const char* log;
  } cases[] = {
      {"absent", [](sim::RtpExtDriver& d) { d.SetAbsent(true); }, -1, "create rtp_ext session fail !!!"},
      {"init refused", [](sim::RtpExtDriver& d) { d.FailNextRequest(0xc0144500, 1, EIO); }, -1,
       "init rtp_ext session fail !!!"},
      {"foreign pid", [](sim::RtpExtDriver&) {}, 1, "attach rtp_ext session fail !!!"},
      {"started", [](sim::RtpExtDriver&) {}, -1, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    c.fault(*ext_);
    control_test::Logs logs;
    Create(ED137RadioParams{}, c.pid);
    EXPECT_EQ(control_->HasSession(), c.log == nullptr);
    EXPECT_EQ(logs.CountErr(c.log ? c.log : "fail"), c.log ? 1 : 0);
    if (c.log == nullptr) {
      EXPECT_TRUE(ext_->Attached(0));
      EXPECT_EQ(ext_->InitRecord(0), (Bytes{0x01, 0x67, 0, 0, 0, 0, 0, 1, 0, 0, 0, 123, 0, 0, 0, 10, 0, 0, 0, 1}));
    }
    // Without a session the control still answers, but tells of no silence.
    EXPECT_TRUE(control_->SendASNToChan(Modifier(true, 1, "10.0.0.9")));
    Step(2500);
    EXPECT_EQ(notify_.causes.size(), c.log == nullptr ? 1u : 0u);
    TearDown();
  }
}

TEST(ED137InitParamsTest, CountsKeepAliveInPacketTimes) {
  ED137RadioParams custom;
  custom.keepalive_period = 1000;
  custom.sigtime = 2;
  ED137RadioParams untimed;
  untimed.sigtime = 0;
  const struct {
    ED137RadioParams params;
    uint16_t pfactor;
    uint32_t packets;
    uint32_t sigtime;
  } cases[] = {{ED137RadioParams{}, 0, 10, 1}, {custom, 4, 50, 2}, {untimed, 1, 20, 1}, {custom, 0x8000, 0, 2}};
  for (const auto& c : cases) {
    const rtp_ext_init_params init = MakeED137InitParams(c.params, c.pfactor);
    EXPECT_EQ(init.words[2], c.packets);
    EXPECT_EQ(init.words[3], c.sigtime);
  }
}

TEST_F(ED137RadioControlTest, KeepsAliveAndSupervisesAcrossWrapAndBackwardStep) {
  control_test::FreezeAtMs((uint64_t{1} << 32) * 300 - 2500);
  Create();
  // Far end heard once at creation; seconds 1..8 cross the wrap of the clock.
  FarEnd(1);
  control_test::RunPasses(3);
  std::vector<size_t> sent;
  std::vector<size_t> aborts;
  for (int second = 1; second <= 8; ++second) {
    Step(1000);
    sent.push_back(ext_->Written(0).size());
    aborts.push_back(notify_.causes.size());
  }
  EXPECT_EQ(sent, (std::vector<size_t>{1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(aborts, (std::vector<size_t>{0, 1, 2, 3, 4, 5, 6, 7}));
  for (int cause : notify_.causes) {
    EXPECT_EQ(cause, ED137RadioControl::kLostKeepAlive);
  }
  // Three hours back (the loop re-arms timers that far ahead): the times move
  // to now and the cadence goes on.
  control_test::FreezeAtMs((uint64_t{1} << 32) * 300 + 5500 - 3 * 3600000);
  const size_t before = ext_->Written(0).size();
  const size_t aborts_before = notify_.causes.size();
  control_test::Logs logs;  // the loop reports the step back
  for (int second = 0; second < 4; ++second) {
    Step(1000);
  }
  EXPECT_GE(ext_->Written(0).size(), before + 2);
  EXPECT_GE(notify_.causes.size(), aborts_before + 1);
}

// 2^31 ms of far-end silence reads as a clock stepped back unless the ages are
// held short of it: the aborts go on each step and an unchanged state heard
// after the gap is reported again.
TEST_F(ED137RadioControlTest, SupervisesAndReportsAcrossALongSilence) {
  Create();
  FarEnd(1);
  control_test::RunPasses(3);
  ASSERT_EQ(notify_.requests.size(), 1u);
  constexpr uint64_t kBigStep = uint64_t{1} << 20;
  for (uint64_t silent = 0; silent + kBigStep < (uint64_t{1} << 31); silent += kBigStep) {
    Step(kBigStep);
  }
  Step(kBigStep - 2500);  // 2^31 - 2500 ms of silence
  const size_t before = notify_.causes.size();
  for (int second = 0; second < 4; ++second) {
    Step(1000);
  }
  EXPECT_EQ(notify_.causes.size(), before + 4);
  FarEnd(1);
  control_test::RunPasses(3);
  EXPECT_EQ(notify_.requests.size(), 2u);
}

TEST_F(ED137RadioControlTest, ReportsFarEndChangesOnceAndCollapsesBursts) {
  Create();
  control_test::RunPasses(2);
  FarEnd(1, 5);
  control_test::RunPasses(3);
  ASSERT_EQ(notify_.requests.size(), 1u);
  const TERM::ED137RadioModifier& reported = notify_.requests[0].get_request().get_ed_137();
  EXPECT_EQ(reported.get_addr().get_session_addr(), "10.0.0.9");
  EXPECT_EQ(reported.get_params().get_tx().get_header().get_ptt().getValue(), 1);
  const struct {
    const char* name;
    std::function<void()> act;
    size_t reports;
  } steps[] = {
      {"same state again", [&] { FarEnd(1); }, 1},
      {"changed state at once", [&] { FarEnd(0); }, 2},
      {"two senders in a burst", [&] { FarEnd(2, 3, 9), FarEnd(2, 2, 10, "10.0.0.10"); }, 4},
      {"unchanged after an interval", [&] { clock_.Advance(1000), FarEnd(2, 1, 10, "10.0.0.10"); }, 5},
      {"source unknown: dropped", [&] { ext_->FailNextRequest(0xc00c4503, 1, EIO), FarEnd(4, 1); }, 5},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.name);
    s.act();
    control_test::RunPasses(3);
    EXPECT_EQ(notify_.requests.size(), s.reports);
  }
  EXPECT_EQ(control_->DroppedPackets(), 1u);
}

TEST_F(ED137RadioControlTest, RefusesFarEndPttWhereTheRadioCannotTransmit) {
  for (uint32_t mode : {0u, 1u}) {
    ED137RadioParams params;
    params.type = mode == 0 ? 1 : 2;      // rx-only radio
    params.txrxmode = mode == 0 ? 2 : 1;  // or receive mode
    SetUp();
    Create(params);
    FarEnd(1);
    control_test::RunPasses(3);
    EXPECT_TRUE(notify_.requests.empty());
    TearDown();
  }
}

TEST_F(ED137RadioControlTest, AppliesModifiersToPacketsAndFilter) {
  Create();
  TERM::RadioModifier lemz;
  lemz.select_lemz();
  TERM::RadioModifier unselected = Modifier(true, 1, "10.0.0.9");
  unselected.get_ed_137().get_params() = TERM::ED137RadioModifierParams();
  const struct {
    const char* name;
    TERM::RadioModifier modifier;
    bool taken;
    Bytes packet;  // last written
    std::optional<uint32_t> filter;
  } cases[] = {
      {"rx ptt on, sqi", Modifier(true, 1, "10.0.0.9", 1), true, {0x21, 0x41, 0x11, 0xa1}, inet_addr("10.0.0.9")},
      {"repeat not sent", Modifier(true, 1, "10.0.0.9", 1), true, {0x21, 0x41, 0x11, 0xa1}, inet_addr("10.0.0.9")},
      {"no holder", Modifier(true, 1, "0.0.0.0"), true, {0x21, 0x40, 0, 0}, std::nullopt},
      {"tx", Modifier(false, 2, "10.0.0.8"), true, {0x41, 0x40, 0, 0}, inet_addr("10.0.0.8")},
      {"ptt off", Modifier(true, 0, "10.0.0.8"), true, {0x01, 0x40, 0, 0}, std::nullopt},
      {"lemz", lemz, false, {0x01, 0x40, 0, 0}, std::nullopt},
      {"no params", unselected, false, {0x01, 0x40, 0, 0}, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(control_->SendASNToChan(c.modifier), c.taken);
    const auto packets = ext_->Written(0);
    ASSERT_FALSE(packets.empty());
    EXPECT_EQ(packets.back(), c.packet);
    EXPECT_EQ(ext_->Filter(0), c.filter);
  }
  EXPECT_EQ(ext_->Written(0).size(), 4u);
  // With the filter applied to extension packets too, only the holder's arrive.
  ext_->SetScope(sim::RtpExtDriver::Scope::kAll);
  ASSERT_TRUE(control_->SendASNToChan(Modifier(true, 1, "10.0.0.9")));
  EXPECT_EQ(ext_->Inject(0, {1, inet_addr("10.0.0.7")}, Bytes{0x20, 0x40}), 0u);
  EXPECT_EQ(ext_->Inject(0, {1, inet_addr("10.0.0.9")}, Bytes{0x20, 0x40}), 1u);
}

// A codec change replaces the extension session: the keyed holder's filter
// goes on the new one, and a released holder leaves none behind.
TEST_F(ED137RadioControlTest, RestartedSessionKeepsTheHoldersFilter) {
  Create();
  const auto restart = [&] {
    EXPECT_TRUE(control_->RtpExtStop());
    ASSERT_TRUE(control_->RtpExtStart(false));
    ASSERT_EQ(ext_->Sessions(), 1u);
  };
  ASSERT_TRUE(control_->SendASNToChan(Modifier(true, 1, "10.0.0.9")));
  restart();
  EXPECT_EQ(ext_->Filter(0), inet_addr("10.0.0.9"));
  // The same holder keyed again changes nothing.
  ASSERT_TRUE(control_->SendASNToChan(Modifier(true, 1, "10.0.0.9")));
  EXPECT_EQ(ext_->Filter(0), inet_addr("10.0.0.9"));
  ASSERT_TRUE(control_->SendASNToChan(Modifier(true, 0, "0.0.0.0")));
  restart();
  EXPECT_EQ(ext_->Filter(0), std::nullopt);
}

TEST_F(ED137RadioControlTest, KeepsATxStateAliveAsRxAndReleasesAHungUpSession) {
  Create();
  ASSERT_TRUE(control_->SendASNToChan(Modifier(false, 1, "10.0.0.9")));
  Step(1000);
  ASSERT_EQ(ext_->Written(0).size(), 2u);
  EXPECT_EQ(ext_->Written(0).back(), (Bytes{0x21, 0x40, 0, 0}));
  control_test::Logs logs;
  ext_->HangUpAll();
  control_test::RunPasses(3);
  EXPECT_EQ(logs.CountErr("rtp_ext session hung up"), 1);
  EXPECT_FALSE(control_->HasSession());
}

// A received RX record as a state: its six header words and its SQI, whose
// byte carries the quality index first, as the gateway sends it.
TEST_F(ED137RadioControlTest, DecodesRxRecordsAsTheGatewaySendsThem) {
  const struct {
    const char* name;
    Bytes packet;
    std::vector<uint32_t> words;  // flags, ptt, squ, ptt-id, mute, summation, sct, method, quality
  } cases[] = {
      {"header only", {0x31, 0x40, 0, 0}, {0x1001, 1, 1, 5, 0, 0, 0, 0, 0}},
      {"every header bit", {0xff, 0xf8, 0, 0}, {0x1001, 7, 1, 63, 1, 1, 1, 0, 0}},
      {"sqi", {0x31, 0x41, 0x11, 0x1a}, {0x1003, 1, 1, 5, 0, 0, 0, 2, 3}},
      {"last sqi wins, rrc is none",
       {0x31, 0x41, 0x11, 0x1a, 0x31, 0xff, 0x11, 0x2b},
       {0x1003, 1, 1, 5, 0, 0, 0, 3, 5}},
      {"rrc only", {0x31, 0x41, 0x31, 0x80}, {0x1001, 1, 1, 5, 0, 0, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    r2s_proto proto;
    r2s_proto_init(&proto, 0);
    ASSERT_EQ(r2s_proto_unpack_rx(&proto, c.packet.data(), c.packet.size()), 0);
    proto.source_address = inet_addr("10.0.0.9");
    proto.source_ssrc = 77;
    ED137RadioState state;
    ASSERT_EQ(ED137RadioControl::DecodeProto(proto, state), 0);
    EXPECT_EQ((std::vector<uint32_t>{state.flags, state.ptt, state.squ, state.ptt_id, state.ptt_mute,
                                     state.ptt_summation, state.sct, state.bss_method, state.bss_quality}),
              c.words);
    EXPECT_EQ(state.address, inet_addr("10.0.0.9"));
    EXPECT_EQ(state.ssrc, 77u);
  }
  // What the gateway sends reads back as its radio state.
  Create();
  ASSERT_TRUE(control_->SendASNToChan(Modifier(true, 1, "10.0.0.9", 1)));
  const Bytes sent = ext_->Written(0).back();
  r2s_proto proto;
  r2s_proto_init(&proto, 0);
  ASSERT_EQ(r2s_proto_unpack_rx(&proto, sent.data(), sent.size()), 0);
  proto.source_address = inet_addr("10.0.0.9");
  proto.source_ssrc = 77;
  ED137RadioState state;
  ASSERT_EQ(ED137RadioControl::DecodeProto(proto, state), 0);
  EXPECT_TRUE(state.IsEqual(control_->RadioState()));
  // A record of neither direction leaves the state as it was.
  r2s_proto_init(&proto, 0);
  EXPECT_EQ(ED137RadioControl::DecodeProto(proto, state), -1);
  EXPECT_TRUE(state.IsEqual(control_->RadioState()));
}

// A control of no protocol traces the packets it reads and drops them, so its
// session does not stay readable.
TEST_F(ED137RadioControlTest, BareControlTracesAndDropsWhatItReads) {
  RadioControl bare(3, rtp_ext_attach_session_params{rtp_, -1}, MakeED137InitParams(ED137RadioParams{}, 0));
  bare.SetTrace(true);
  control_test::Logs logs;
  ASSERT_EQ(ext_->Inject(0, {9, inet_addr("10.0.0.9")}, Bytes{0x20, 0x40}, 3), 3u);
  control_test::RunPasses(3);
  const std::string log = logs.Log();
  const size_t first = log.find("receive extension packet(s)!");
  ASSERT_NE(first, std::string::npos);
  EXPECT_EQ(log.find("receive extension packet(s)!", first + 1), std::string::npos);
  EXPECT_EQ(bare.GetStatistics().bytes_received, 6u);
}

}  // namespace
}  // namespace RTPSignalling
