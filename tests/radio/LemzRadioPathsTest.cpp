#include "radio/LemzRadioControl.h"

#include "platform/Device.h"
#include "platform/sim/Board.h"
#include "platform/sim/RtpExtDriver.h"
#include "radio/RadioCodec.h"
#include "tests/support/BoardRoot.h"
#include "tests/support/ControlLoop.h"
#include "tests/support/LemzGolden.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace RTPSignalling {
namespace {

using Bytes = std::vector<uint8_t>;

struct Recorder : IRadioControlNotify {
  void RadioControlNotify(const TERM::RtpRadioRequest& request) override { requests.push_back(request); }
  std::vector<TERM::RtpRadioRequest> requests;
};

// Opens the announcement times to the tests.
template <class Role>
struct Probe : Role {
  using Role::chan_time_;
  using Role::flag_time_;
  using Role::radio_;
  using Role::remote_time_;
  using Role::Role;
  using Role::standby_time_;
};

std::string Flags(int prio, bool ptt) {
  return "flags { prio " + std::to_string(prio) + ", ptt " + (ptt ? "TRUE" : "FALSE") +
         ", bss FALSE, vad-rx FALSE, vad-tx FALSE, sql FALSE, sh TRUE, pwr FALSE, rv FALSE, resv FALSE, selcall 0, "
         "li 0 }";
}

TERM::RadioModifier Modifier(const std::string& params, const char* from = "10.0.0.5") {
  TERM::RadioModifier modifier;
  const std::string text =
      std::string("lemz : { addr { session-addr \"") + from + "\", session-ssrc 1 }, params " + params + " }";
  EXPECT_TRUE(modifier.setFromValueNotation(text)) << text;
  return modifier;
}

Bytes Packet(uint32_t type, uint32_t priority, uint32_t ptt) {
  sig_proto p;
  sig_proto_init(&p);
  p.type = type;
  p.priority = priority;
  p.flag_p = ptt;
  uint8_t buffer[1024];
  const int length = sig_proto_pack(&p, buffer, sizeof buffer);
  return Bytes(buffer, buffer + (length > 0 ? length : 0));
}

class LemzRadioPathsTest : public ::testing::Test {
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
    gw_.reset();
    ws_.reset();
    platform::Close(rtp_);
  }

  template <class Role>
  std::unique_ptr<Probe<Role>> Make(LemzRadioControl::Role role) {
    auto control = std::make_unique<Probe<Role>>(3, rtp_ext_attach_session_params{rtp_, getpid()},
                                                 rtp_ext_init_params{kLemzExtensionType, {}});
    control->SetNotify(&notify_);
    control->SetRole(role);
    TERM::RadioStatus status;
    EXPECT_TRUE(status.setFromValueNotation(std::string("lemz : ") + test::kLemzCreateStatus));
    EXPECT_TRUE(control->SendASNToChan(status));
    return control;
  }
  void Gateway() { gw_ = Make<LemzRadioGWControl>(LemzRadioControl::kGatewayRole); }
  void Workstation() { ws_ = Make<LemzRadioWSControl>(LemzRadioControl::kWorkstationRole); }
  void Inject(const Bytes& packet, const char* from) { ext_->Inject(0, {9, inet_addr(from)}, packet); }
  void Run() { control_test::RunPasses(3); }
  std::vector<int> WrittenCommands() {
    std::vector<int> commands;
    for (const Bytes& packet : ext_->Written(0)) {
      commands.push_back(packet.empty() ? -1 : packet[0]);
    }
    return commands;
  }

  TempBoardRoot root_;
  control_test::FrozenClock clock_;
  sim::RtpExtDriver* ext_ = nullptr;
  int rtp_ = -1;
  Recorder notify_;
  std::unique_ptr<Probe<LemzRadioGWControl>> gw_;
  std::unique_ptr<Probe<LemzRadioWSControl>> ws_;
};

// Every golden command given by the controller as a modifier goes out with the golden body from the role that
// sends it, and not at all from the other role.
TEST_F(LemzRadioPathsTest, ModifiersSendTheGoldenPacketsOfTheirRole) {
  Gateway();
  Workstation();
  const auto rows = test::ReadLemzGolden(LEMZ_GOLDEN_PATH);
  ASSERT_EQ(rows.size(), 20u);
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    TERM::RtpRadioRequest request;
    ASSERT_TRUE(request.setFromValueNotation(row.request));
    const bool from_gateway = row.wire[0] >= WM_FLAG;
    for (int session = 0; session < 2; ++session) {
      LemzRadioControl& control = session == 0 ? static_cast<LemzRadioControl&>(*gw_) : *ws_;
      const size_t before = ext_->Written(session).size();
      EXPECT_TRUE(control.SendASNToChan(request.get_request()));
      const auto written = ext_->Written(session);
      if (from_gateway != (session == 0)) {
        EXPECT_EQ(written.size(), before);
        continue;
      }
      ASSERT_EQ(written.size(), before + 1);
      const Bytes& packet = written.back();
      ASSERT_EQ(packet.size(), row.wire.size());
      EXPECT_EQ(packet[0], row.wire[0]);
      // The header flags come from the modifier where it carries them, else from the radio state.
      const size_t from = row.request.find("flags {", row.request.find("params")) == std::string::npos ? 4 : 1;
      EXPECT_EQ(Bytes(packet.begin() + from, packet.end()), Bytes(row.wire.begin() + from, row.wire.end()));
    }
  }
}

// Access to the channel and the collapsing of runs: one report per run of one command from one sender, of the last
// packet that unpacked and can be reported.
TEST_F(LemzRadioPathsTest, GatewayReportsGrantedRuns) {
  const Bytes ptt = Packet(GW_FLAG_PTT, 1, 1);
  const Bytes unreportable = {GW_ADJUST_RTE, 0, 0, 0, 9, 0, 0, 0};  // emission type 9
  const struct {
    const char* name;
    const char* holder;  // under push-to-talk with priority 5; null: the channel is free
    std::vector<std::pair<Bytes, const char*>> packets;
    std::vector<const char*> reports;
  } kCases[] = {
      {"free", nullptr, {{Packet(GW_FLAG, 9, 0), "10.0.0.7"}}, {"10.0.0.7"}},
      {"pre-empted by priority", "10.0.0.5", {{Packet(GW_FLAG_PTT, 3, 1), "10.0.0.7"}}, {"10.0.0.7"}},
      {"equal priority", "10.0.0.5", {{Packet(GW_FLAG_PTT, 5, 1), "10.0.0.7"}}, {}},
      {"no push-to-talk flag", "10.0.0.5", {{Packet(GW_FLAG_PTT, 3, 0), "10.0.0.7"}}, {}},
      {"not a push-to-talk command", "10.0.0.5", {{Packet(GW_ADJUST_CHAN, 3, 1), "10.0.0.7"}}, {}},
      {"holder", "10.0.0.5", {{Packet(GW_ADJUST_CHAN, 9, 0), "10.0.0.5"}}, {"10.0.0.5"}},
      {"own address holds", "own", {{Packet(GW_FLAG_BSS, 9, 0), "10.0.0.7"}}, {"10.0.0.7"}},
      {"same", nullptr, {{ptt, "10.0.0.1"}, {ptt, "10.0.0.1"}, {ptt, "10.0.0.1"}}, {"10.0.0.1"}},
      {"A B A",
       nullptr,
       {{ptt, "10.0.0.1"}, {ptt, "10.0.0.2"}, {ptt, "10.0.0.1"}},
       {"10.0.0.1", "10.0.0.2", "10.0.0.1"}},
      {"new command", nullptr, {{ptt, "10.0.0.1"}, {Packet(GW_FLAG, 1, 1), "10.0.0.1"}}, {"10.0.0.1", "10.0.0.1"}},
      {"last does not unpack", nullptr, {{ptt, "10.0.0.1"}, {{0x7f, 0, 0, 0}, "10.0.0.2"}}, {"10.0.0.1"}},
      {"unreportable", nullptr, {{unreportable, "10.0.0.1"}}, {}},
      {"empty", nullptr, {}, {}},
      {"source unknown", nullptr, {{ptt, "source unknown"}}, {}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    SetUp();
    notify_.requests.clear();
    Gateway();
    if (c.holder != nullptr) {
      std::string holder = std::string(c.holder) == "own" ? gw_->OwnAddress().GetString() : c.holder;
      holder = holder.substr(0, holder.find(':'));
      ASSERT_TRUE(gw_->SendASNToChan(Modifier("wm-trans : { " + Flags(5, true) + ", ip \"" + holder + "\", ssrc 1 }")));
      EXPECT_EQ(ext_->Filter(0), inet_addr(holder.c_str()));
    }
    for (const auto& packet : c.packets) {
      const bool unknown = std::string(packet.second) == "source unknown";
      if (unknown) {
        ext_->FailNextRequest(0xc00c4503, 1, EIO);
      }
      Inject(packet.first, unknown ? "10.0.0.1" : packet.second);
    }
    control_test::Logs logs;
    Run();
    ASSERT_EQ(notify_.requests.size(), c.reports.size());
    for (size_t i = 0; i < c.reports.size(); ++i) {
      EXPECT_EQ(notify_.requests[i].get_request().get_lemz().get_addr().get_session_addr(), c.reports[i]);
    }
    EXPECT_EQ(gw_->UnreportablePackets(), c.packets.size() == 1 && c.packets[0].first == unreportable ? 1u : 0u);
    EXPECT_EQ(logs.CountErr("LEMZ packet GW_ADJUST_RTE dropped: gw_adjust_rte.rte cannot be reported"),
              gw_->UnreportablePackets());
    EXPECT_EQ(gw_->DroppedPackets(), std::string(c.name) == "source unknown" ? 1u : 0u);
    TearDown();
  }
}

// What the session carried is counted, and each step keeps its last failure; an empty queue is none.
TEST_F(LemzRadioPathsTest, StatisticsCountTrafficAndKeepLastFailures) {
  Workstation();
  const RadioControl::Statistics& stats = ws_->GetStatistics();
  EXPECT_EQ(stats.packets_sent, 0u);  // the create status is only stored
  Inject(Packet(WM_FLAG, 9, 0), "10.0.0.7");
  Inject({0x7f, 0, 0, 0}, "10.0.0.7");                 // unknown command
  Inject({WM_CHAN, 0, 0, 0, 0, 0, 0, 7}, "10.0.0.7");  // short
  ext_->FailNextRequest(0xc00c4503, 1, EIO);
  Inject(Packet(WM_FLAG, 9, 0), "10.0.0.8");
  Run();
  EXPECT_EQ(stats.source_reads, 3u);
  EXPECT_EQ(stats.source_errno, EIO);
  EXPECT_EQ(stats.read_errno, 0);
  EXPECT_EQ(stats.bytes_received, 4u + 4 + 8 + 4);
  EXPECT_EQ(stats.good_packets, 1u);
  EXPECT_EQ(stats.unpack_code, kRadioCodecShort);

  ASSERT_TRUE(ws_->SendASNToChan(Modifier("gw-set-sh : { " + Flags(4, false) + " }")));
  ext_->FailNext(sim::Call::kWrite, 1, ENOSPC);
  ASSERT_TRUE(ws_->SendASNToChan(Modifier("gw-set-sh : { " + Flags(3, false) + " }")));
  EXPECT_EQ(stats.packets_sent, 1u);
  EXPECT_EQ(stats.bytes_sent, 4u);
  EXPECT_EQ(stats.write_errno, ENOSPC);
  EXPECT_EQ(stats.pack_code, 0);
  // A full queue refusing a packet is a failure of the write, unlike an empty one of a read.
  ext_->FailNext(sim::Call::kWrite, 1, EAGAIN);
  ASSERT_TRUE(ws_->SendASNToChan(Modifier("gw-set-sh : { " + Flags(4, false) + " }")));
  EXPECT_EQ(stats.write_errno, EAGAIN);
}

// The four times are 5000 unless the row says otherwise; the radio holds the create status.
TEST_F(LemzRadioPathsTest, GatewayAnnouncesOnSchedule) {
  constexpr uint32_t kWrap = 0xffffffffu - 499;
  const std::vector<int> kAll = {WM_FLAG, WM_CHAN, WM_SELECT_RC_CHAN, WM_STANDBY};
  const struct {
    const char* name;
    uint32_t flag, others, now;
    std::function<void(LemzRadioState&)> radio;
    std::vector<int> sent;
    unsigned long next;
  } kCases[] = {
      {"example", 4500, 5000, 5000, nullptr, {WM_SELECT_RC_CHAN}, 510},
      {"all equal", 5000, 5000, 5000, nullptr, {WM_SELECT_RC_CHAN}, 1000},
      {"all due", 4000, 4000, 5000, nullptr, kAll, 1000},
      {"under push-to-talk",
       4000,
       5000,
       5000,
       [](LemzRadioState& r) { r.ptt = 1; },
       {WM_TRANS, WM_SELECT_RC_CHAN},
       1000},
      {"no channel",
       4000,
       4000,
       5000,
       [](LemzRadioState& r) { r.channel = -1; },
       {WM_FLAG, WM_SELECT_RC_CHAN, WM_STANDBY},
       1000},
      {"no frequency",
       4000,
       4000,
       5000,
       [](LemzRadioState& r) { r.frequency = -1; },
       {WM_FLAG, WM_SELECT_RC_CHAN, WM_STANDBY},
       1000},
      {"no standby",
       4000,
       4000,
       5000,
       [](LemzRadioState& r) { r.standby_group = -1; },
       {WM_FLAG, WM_CHAN, WM_SELECT_RC_CHAN},
       1000},
      {"no remote",
       4000,
       4000,
       5000,
       [](LemzRadioState& r) { r.remote_ch = -1; },
       {WM_FLAG, WM_CHAN, WM_STANDBY},
       1000},
      {"clock wrapped", kWrap, kWrap, 3000, nullptr, kAll, 1000},
      {"clock stepped back", 5000, 5000, 4000, nullptr, {WM_SELECT_RC_CHAN}, 1000},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    SetUp();
    Gateway();
    if (c.radio) {
      c.radio(gw_->radio_);
    }
    gw_->flag_time_ = c.flag;
    gw_->chan_time_ = gw_->remote_time_ = gw_->standby_time_ = c.others;
    EXPECT_EQ(gw_->ProcessRadioStatus(c.now, 1000), c.next);
    EXPECT_EQ(WrittenCommands(), c.sent);
    TearDown();
  }
}

TEST_F(LemzRadioPathsTest, ModifiersChangeTheRadioState) {
  Gateway();
  clock_.Advance(300);
  // wm-chan goes out at once and restarts its period.
  ASSERT_TRUE(
      gw_->SendASNToChan(Modifier("wm-chan : { freq { channel 7, frequency \"145.5\" }, squelshe on, rte h3e }")));
  EXPECT_EQ(WrittenCommands(), std::vector<int>{WM_CHAN});
  EXPECT_EQ(gw_->chan_time_, gw_->flag_time_ + 300);
  EXPECT_EQ(gw_->RadioState().channel, 7);
  // Commands to the gateway change the flags but send nothing.
  ASSERT_TRUE(gw_->SendASNToChan(Modifier("gw-set-flags : { " + Flags(2, false) + " }")));
  EXPECT_EQ(WrittenCommands().size(), 1u);
  EXPECT_EQ(gw_->RadioState().sh, 1u);
  // Another protocol or an alternative naming no command changes nothing.
  TERM::RadioModifier ed137;
  static_cast<void>(ed137.select_ed_137());
  TERM::RadioModifier unknown;
  static_cast<void>(unknown.select_lemz());
  for (const auto* modifier : {&ed137, &unknown}) {
    EXPECT_FALSE(gw_->SendASNToChan(*modifier));
  }
  EXPECT_EQ(gw_->RadioState().priority, 2);
  EXPECT_EQ(gw_->RadioState().channel, 7);
}

// The workstation reports every announcement whoever sends it, and sends only commands to the gateway.
TEST_F(LemzRadioPathsTest, WorkstationRole) {
  Workstation();
  ASSERT_TRUE(ws_->SendASNToChan(Modifier("wm-trans : { " + Flags(5, true) + ", ip \"10.0.0.5\", ssrc 1 }")));
  Inject(Packet(WM_FLAG, 9, 0), "10.0.0.7");
  Inject(Packet(WM_FLAG, 9, 0), "10.0.0.8");
  Run();
  EXPECT_EQ(notify_.requests.size(), 2u);
  ASSERT_TRUE(ws_->SendASNToChan(Modifier("gw-set-ptt : { " + Flags(5, true) + " }")));
  ASSERT_TRUE(ws_->SendASNToChan(Modifier("gw-set-sh : { " + Flags(4, false) + " }")));
  const auto written = ext_->Written(0);
  ASSERT_EQ(written.size(), 2u);
  EXPECT_EQ(written[1], (Bytes{GW_FLAG_SH, 0x40, 0x20, 0x00}));
  EXPECT_EQ(ws_->RadioState().command, GW_FLAG_SH);
  EXPECT_EQ(ws_->RadioState().priority, 4);
  EXPECT_EQ(ws_->RadioState().ptt, 1u);  // only sh of the flags
}

}  // namespace
}  // namespace RTPSignalling
