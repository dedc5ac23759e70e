#include "tests/signalling/SignallingSlotsFixture.h"

#include "signalling/PstnSlot.h"

#include <gtest/gtest.h>

namespace {

using namespace signalling_slots_test;

// A link binds its trunk timeslot on the halves it needs: SS7 and PRI on the
// receiver half, a BRI D channel on both; a CAS slot binds nothing, since only
// idle flags would run on it. Either disconnect lets the channel and its
// switch paths go.
TEST_F(SignallingSlotsTest, BindsOnTheHalvesItNeeds) {
  const struct {
    const char* name;
    PstnFill fill;
    bool bri;
    size_t on_receiver;
    size_t on_both;
  } kCases[] = {
      {"ss7", Ss7(1), false, 1, 1},
      {"pri user", Isdn(LGCP::IsdnType::pri, false), false, 1, 1},
      {"pri network", Isdn(LGCP::IsdnType::pri, true), false, 1, 1},
      {"bri user", Isdn(LGCP::IsdnType::bri, false), true, 0, 1},
      {"bri network", Isdn(LGCP::IsdnType::bri, true), true, 0, 1},
      {"cas", [](LGCP::PstnParams& params) { params.select_cas().set_trunk(1); }, false, 0, 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(CreatePstn(10, c.fill), Lines{"10 success"});
    CreateTrunk(1, 0, 1, c.bri);
    const int line = SlotAt(1)->IGetTransmitChannel();
    Connect(1, 10);
    EXPECT_EQ(mcc_->Channels().size(), c.on_receiver);
    Connect(10, 1);
    Send(10, [](LGCP::Command& command) { command.select_activate().select_empty(); });
    EXPECT_EQ(mcc_->Channels().size(), c.on_both);
    if (c.on_both != 0) {
      EXPECT_EQ(Switch().OutputOf(line), (sim::TdmSwitch::Output{sim::TdmSwitch::Carries::source, OnlyChannel()}));
    }
    Disconnect(10);
    EXPECT_TRUE(mcc_->Channels().empty());
    EXPECT_NE(Switch().OutputOf(line).carries, sim::TdmSwitch::Carries::source);
    Destroy(10);
    Destroy(1);
    Received();
  }
}

TEST_F(SignallingSlotsTest, RefusesAPeerOffTheTrunks) {
  CreatePstn(10, Ss7(1));
  CreateProbe(2, 7, 7);
  Connect(2, 10);
  EXPECT_NE(ErrorText().find("pstn-slot: invalid trunk number: -1\n"), std::string::npos);
  EXPECT_TRUE(mcc_->Channels().empty());
}

TEST_F(SignallingSlotsTest, BuildsDChannelsAndBChannels) {
  EXPECT_EQ(Create(10, IsdnD(false, LGCP::IsdnType::bri)), Lines{"10 success"});
  EXPECT_EQ(mcc_->ChannelOf(SlotAt(10)->IGetTransmitChannel())->type, MccDriver::kBri);
  EXPECT_EQ(Create(11, IsdnD(false)), Lines{"11 success"});
  EXPECT_EQ(mcc_->ChannelOf(SlotAt(11)->IGetTransmitChannel())->type, MccDriver::kData);
  EXPECT_EQ(Create(12, AtsQsig(false)), Lines{"12 success"});
  const auto b_channel = [](int slot, int subslot) {
    return [=](LGCP::CreateParams& create) {
      LGCP::AtsQsigBParams& b = create.select_ats_qsig_b();
      b.set_slot(slot);
      b.set_subslot(subslot);
    };
  };
  const struct {
    const char* name;
    CreateFill fill;
    bool built;
  } kCases[] = {
      {"on its ATS-QSIG slot", b_channel(12, 2), true},
      {"the same again", b_channel(12, 2), false},
      {"on an unknown slot", b_channel(99, 1), false},
      {"on an ISDN slot", b_channel(11, 1), false},
  };
  unsigned slot = 20;
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const std::string number = std::to_string(++slot);
    EXPECT_EQ(Create(slot, c.fill).back(), number + (c.built ? " success" : " error insufficientResources"));
  }
  EXPECT_EQ(dsp_data_->BChannels().size(), 1u);
  Destroy(21);
  EXPECT_TRUE(dsp_data_->BChannels().empty());
}

// The device hangs up or a read fails: the slot lets the descriptor go with
// one line instead of polling it forever, and the link that can no longer
// pass a frame is reported down; a refused channel id refuses the create.
TEST_F(SignallingSlotsTest, DChannelDeviceFailures) {
  const Bytes sabme = {0x02, 0x01, 0x7f};
  const std::function<bool(int)> on_mcc = [&](int channel) { return mcc_->Receive(channel, sabme); };
  const std::function<bool(int)> on_dsp_data = [&](int channel) { return dsp_data_->Receive(channel, sabme); };
  const struct {
    const char* name;
    CreateFill fill;
    sim::Driver* driver;
    // Null: the device hangs up; else a frame arrives whose read fails.
    const std::function<bool(int)>* receive;
    const char* line;
  } kCases[] = {
      {"isdn hang-up", IsdnD(false), mcc_, nullptr, "device hang-up\n"},
      {"isdn read error", IsdnD(false), mcc_, &on_mcc, "read error: Input/output error\n"},
      {"ats-qsig hang-up", AtsQsig(false), dsp_data_, nullptr, "device hang-up\n"},
      {"ats-qsig read error", AtsQsig(false), dsp_data_, &on_dsp_data, "read error: Input/output error\n"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    Create(12, c.fill);
    const int channel = SlotAt(12)->IGetTransmitChannel();
    const std::string line = "isdn-slot[" + std::to_string(channel) + "]: " + c.line;
    Send(12, [](LGCP::Command& command) { command.select_activate().select_empty(); });
    if (c.receive == nullptr) {
      c.driver->HangUpAll();
    } else {
      c.driver->FailNext(sim::Call::kRead, 1, EIO);
      ASSERT_TRUE((*c.receive)(channel));
    }
    const Lines lines = Run(200);
    EXPECT_EQ(Count(lines, "12 deactivated"), 1u);
    const std::string errors = ErrorText();
    EXPECT_NE(errors.find(line), std::string::npos);
    EXPECT_EQ(errors.find(line), errors.rfind(line));
    Destroy(12);
    Received();
  }
  dsp_data_->FailNextRequest(0x40044211, 1, EIO);
  EXPECT_EQ(Create(12, AtsQsig(false)), Lines{"12 error insufficientResources"});
  EXPECT_NE(ErrorText().find("mcc/isdn: dsp-data channel id fail: "), std::string::npos);
}

}  // namespace

namespace {

// Statistics every 3000 ms: the channel's always, the SS7 link's always, the
// LAPD's only when its record changed; the SS7 ioctls only with an SS7 link.
TEST_F(SignallingSlotsTest, ReportsAndIoctlsByKind) {
  const struct {
    const char* name;
    PstnFill fill;
    size_t ss7_reports;
    size_t isdn_reports;
    const char* bsn_answer;
  } kCases[] = {
      {"ss7", Ss7(1), 2, 0, "10 success"},
      {"pri", Isdn(LGCP::IsdnType::pri, false), 0, 1, "10 error unsupported"},
      {"bri network", Isdn(LGCP::IsdnType::bri, true), 0, 0, "10 error unsupported"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    CreatePstn(10, c.fill);
    const Lines lines = Run(6000);
    EXPECT_EQ(Count(lines, "hdlcLinkInfo"), 2u);
    EXPECT_EQ(Count(lines, "ss7LinkInfo"), c.ss7_reports);
    EXPECT_EQ(Count(lines, "isdnLinkInfo"), c.isdn_reports);
    const Lines bsn = Ioctl(10, [](LGCP::IoctlParams& params) { params.select_ss7RqBSN(); });
    EXPECT_EQ(bsn.back(), c.bsn_answer);
    EXPECT_EQ(Count(bsn, "ss7BSN : 127"), c.ss7_reports == 0 ? 0u : 1u);
    EXPECT_EQ(Ioctl(10, [](LGCP::IoctlParams& params) { params.select_ss7Log().set_state(true); }),
              Lines{c.bsn_answer});
    Destroy(10);
    Received();
  }
}

// A BRI port shares trunk numbers with the E1 trunks: its statuses must not
// take down the SS7 link on the E1 trunk of the same number.
TEST_F(SignallingSlotsTest, OnlyE1StatusReachesTheSs7Link) {
  const struct {
    ACP::TrunkType::NamedNumber type;
    bool idle;
  } kCases[] = {{ACP::TrunkType::bri, false}, {ACP::TrunkType::e1, true}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.type);
    CreatePstn(10, Ss7(1));
    CreateTrunk(1, 0, 16);
    Connect(1, 10);
    LGCP::Signal signal;
    ACP::TrunkStatus& status = signal.select_trunkStatus();
    status.set_trunk(0);
    status.set_state(ACP::TrunkState::lossCarrier);
    status.set_type(c.type);
    PstnFactory::instance().SelfSignal(signal);
    const Lines lines = Run(3000);
    EXPECT_EQ(Count(lines, "ss7state idle") != 0, c.idle);
    Destroy(10);
    Destroy(1);
    Received();
  }
}

// The BRI network side hears the bus and answers on it: a TEI request from a
// terminal is answered with an assignment written on the channel. What it
// sends while the channel pushes back goes out, in order, once it drains.
TEST_F(SignallingSlotsTest, BriNetworkSideIsBoundToItsChannel) {
  const int channel = BriNetworkChannel();
  ASSERT_NE(channel, -1);
  // UI to the group TEI from a terminal: identity request, Ri 0x1234, any TEI.
  ASSERT_TRUE(mcc_->Receive(channel, {0xfc, 0xff, 0x03, 0x0f, 0x12, 0x34, 0x01, 0xff}));
  Run(200);
  const std::vector<Bytes> frames = mcc_->TakeTransmitted(channel);
  EXPECT_TRUE(std::any_of(frames.begin(), frames.end(), [](const Bytes& frame) {
    return frame.size() >= 8 && frame[3] == 0x0f && frame[4] == 0x12 && frame[5] == 0x34 && frame[6] == 0x02;
  }));

  // A second terminal asks, then sends SABME (P = 1) on TEI 65: the
  // assignment, the SABME that sets up its data link and the UA wait.
  ASSERT_TRUE(mcc_->SetBlocked(channel, true));
  ASSERT_TRUE(mcc_->Receive(channel, {0xfc, 0xff, 0x03, 0x0f, 0x56, 0x78, 0x01, 0xff}));
  Run(100);
  ASSERT_TRUE(mcc_->Receive(channel, {0x00, 0x83, 0x7f}));
  Run(100);
  EXPECT_TRUE(mcc_->TakeTransmitted(channel).empty());
  ASSERT_TRUE(mcc_->SetBlocked(channel, false));
  Run(100);
  EXPECT_EQ(
      mcc_->TakeTransmitted(channel),
      (std::vector<Bytes>{{0xfe, 0xff, 0x03, 0x0f, 0x56, 0x78, 0x02, 0x83}, {0x02, 0x83, 0x7f}, {0x00, 0x83, 0x73}}));
}

// The network side's channel hangs up: the terminals are let go and the
// controller hears the link go down, as from every other D channel.
TEST_F(SignallingSlotsTest, BriNetworkSideReportsAHungUpChannel) {
  const int channel = BriNetworkChannel();
  ASSERT_NE(channel, -1);
  // A terminal asks for a TEI and gets 64.
  ASSERT_TRUE(mcc_->Receive(channel, {0xfc, 0xff, 0x03, 0x0f, 0x12, 0x34, 0x01, 0xff}));
  Run(200);
  const auto* pstn = static_cast<PstnSlot*>(dynamic_cast<void*>(SlotAt(10)));
  const auto* link = dynamic_cast<const ISDN::LAPD_NT*>(pstn->top());
  ASSERT_NE(link, nullptr);
  ASSERT_NE(link->entry(0).state(), ISDN::LAPD_NT_user::kUnassigned);

  mcc_->HangUpAll();
  const Lines at_once = Run(200);
  EXPECT_EQ(link->entry(0).state(), ISDN::LAPD_NT_user::kUnassigned);
  EXPECT_EQ(Count(at_once, "10 deactivated") + Count(Run(20000), "10 deactivated"), 1u);
}

// While the channel holds frames back, a terminal's data link repeats its
// SABME, its poll or its unacknowledged I frames each second: one copy of each
// waits, even when the resent I frame carries a newer N(R).
TEST_F(SignallingSlotsTest, BriNetworkSideKeepsOneCopyOfARepeatedFrame) {
  const int channel = BriNetworkChannel();
  ASSERT_NE(channel, -1);
  const Bytes assigned = {0xfe, 0xff, 0x03, 0x0f, 0x12, 0x34, 0x02, 0x81};
  const Bytes sabme = {0x02, 0x81, 0x7f};
  Run(100);
  (void)mcc_->TakeTransmitted(channel);

  // TEI 64 assigned while the channel is full: its SABME goes once, and the
  // identity remove that gives up on the silent terminal still goes twice.
  ASSERT_TRUE(mcc_->SetBlocked(channel, true));
  ASSERT_TRUE(mcc_->Receive(channel, {0xfc, 0xff, 0x03, 0x0f, 0x12, 0x34, 0x01, 0xff}));
  Run(4500);
  ASSERT_TRUE(mcc_->SetBlocked(channel, false));
  Run(100);
  const Bytes remove = {0xfe, 0xff, 0x03, 0x0f, 0x00, 0x00, 0x06, 0x81};
  EXPECT_EQ(mcc_->TakeTransmitted(channel), (std::vector<Bytes>{assigned, sabme, remove, remove}));

  // Asked again, TEI 64 comes up with the terminal's UA; a message for it
  // goes as I frame N(S) 0.
  ASSERT_TRUE(mcc_->Receive(channel, {0xfc, 0xff, 0x03, 0x0f, 0x12, 0x34, 0x01, 0xff}));
  Run(100);
  EXPECT_EQ(mcc_->TakeTransmitted(channel), (std::vector<Bytes>{assigned, sabme}));
  ASSERT_TRUE(mcc_->Receive(channel, {0x02, 0x81, 0x73}));
  Run(100);
  UserData(10, {0x08, 0x01, 0x00, 0x7b});
  Run(100);
  EXPECT_EQ(mcc_->TakeTransmitted(channel), (std::vector<Bytes>{{0x02, 0x81, 0x00, 0x01, 0x08, 0x01, 0x00, 0x7b}}));
  // Unanswered, it is resent each second; meanwhile the terminal's own I
  // frame moves V(R) on, so the second resending carries N(R) 1.
  ASSERT_TRUE(mcc_->SetBlocked(channel, true));
  Run(1000);
  ASSERT_TRUE(mcc_->Receive(channel, {0x00, 0x81, 0x00, 0x00, 0x08, 0x01, 0x80, 0x7d}));
  Run(1000);
  ASSERT_TRUE(mcc_->SetBlocked(channel, false));
  Run(100);
  EXPECT_EQ(mcc_->TakeTransmitted(channel),
            (std::vector<Bytes>{{0x02, 0x81, 0x00, 0x01, 0x08, 0x01, 0x00, 0x7b}, {0x00, 0x81, 0x01, 0x02}}));
}

// A channel opened anew carries nothing that waited for the one before: a UA
// kept for the old timeslot's peer would set up the new one's link unasked.
TEST_F(SignallingSlotsTest, ReopenedLapdChannelGetsNothingKeptForTheOldOne) {
  const Bytes ua = {0x02, 0x01, 0x73};
  CreatePstn(10, Isdn(LGCP::IsdnType::pri, false));
  CreateTrunk(1, 0, 3);
  CreateTrunk(2, 1, 3);
  Connect(1, 10);
  int channel = OnlyChannel();
  ASSERT_NE(channel, -1);
  Run(100);
  EXPECT_EQ(mcc_->TakeTransmitted(channel), (std::vector<Bytes>{{0x00, 0x01, 0x7f}}));
  ASSERT_TRUE(mcc_->Receive(channel, {0x00, 0x01, 0x73}));
  Run(100);
  ASSERT_TRUE(mcc_->SetBlocked(channel, true));
  ASSERT_TRUE(mcc_->Receive(channel, {0x02, 0x01, 0x7f}));
  Run(100);
  Disconnect(10);
  Connect(2, 10);
  channel = OnlyChannel();
  ASSERT_NE(channel, -1);
  Run(1500);
  const std::vector<Bytes> frames = mcc_->TakeTransmitted(channel);
  EXPECT_FALSE(frames.empty());
  EXPECT_EQ(std::count(frames.begin(), frames.end(), ua), 0);
}

// Messages pile up while the data link is not established: past the busy
// mark the controller hears isdnLinkStatus congested.
TEST_F(SignallingSlotsTest, LapdCongestionIsReported) {
  CreatePstn(10, Isdn(LGCP::IsdnType::pri, false));
  CreateTrunk(1, 0, 3);
  Connect(1, 10);
  Lines lines;
  for (uint8_t i = 0; i < 100; ++i) {
    for (std::string& line : UserData(10, {0x08, 0x01, i, 0x05})) {
      lines.push_back(std::move(line));
    }
  }
  EXPECT_EQ(Count(lines, "isdnLinkStatus : congested"), 1u);
}

TEST_F(SignallingSlotsTest, LinkFamiliesAreNamed) {
  CreatePstn(10, Isdn(LGCP::IsdnType::pri, false));
  Create(11, IsdnD(false));
  // The PSTN slot keeps its Slot base private: reach it from the whole object.
  const auto* pstn = static_cast<PstnSlot*>(dynamic_cast<void*>(SlotAt(10)));
  EXPECT_STREQ(pstn->name().name(), "PSTN");
  EXPECT_STREQ(dynamic_cast<ProtocolsFamily*>(SlotAt(11))->name().name(), "ISDN/HDLC");
}

class HdlcSlotTest : public SignallingSlotsTest {
 protected:
  static constexpr unsigned kSlot = 20;

  void SetUp() override {
    SignallingSlotsTest::SetUp();
    CreateHdlc(kSlot, 0x1234);
    CreateTrunk(1, 0, 6);
    Connect(1, kSlot);
    channel_ = OnlyChannel();
    ASSERT_NE(channel_, -1);
    Received();
  }
  // The package counts of the hdlcPackages signals among the lines.
  static std::vector<size_t> Batches(const Lines& lines) {
    std::vector<size_t> batches;
    for (const std::string& line : lines) {
      if (line.find("hdlcPackages") == std::string::npos) {
        continue;
      }
      size_t count = 0;
      for (size_t at = line.find("body"); at != std::string::npos; at = line.find("body", at + 1)) {
        ++count;
      }
      batches.push_back(count);
    }
    return batches;
  }

  int channel_ = -1;
};

TEST_F(HdlcSlotTest, FramesCarryAddressAndThreeBitCounters) {
  // The far end's send counter 5 comes back in the low bits.
  ASSERT_TRUE(mcc_->Receive(channel_, {0x12, 0x34, 0xa0, 0x01}));
  Run(200);
  std::vector<Bytes> bodies;
  for (uint8_t i = 0; i < 9; ++i) {
    bodies.push_back({0xaa, i});
  }
  EXPECT_EQ(SendPackages(kSlot, bodies), Lines{"20 success"});
  const std::vector<Bytes> frames = mcc_->TakeTransmitted(channel_);
  ASSERT_EQ(frames.size(), 9u);
  EXPECT_EQ(frames[0], (Bytes{0x12, 0x34, 0x05, 0xaa, 0}));
  EXPECT_EQ(frames[1], (Bytes{0x12, 0x34, 0x25, 0xaa, 1}));
  EXPECT_EQ(frames[7], (Bytes{0x12, 0x34, 0xe5, 0xaa, 7}));
  EXPECT_EQ(frames[8], (Bytes{0x12, 0x34, 0x05, 0xaa, 8}));
}

TEST_F(HdlcSlotTest, ReceivedFramesAreBatched) {
  const Bytes more{0x12, 0x34, 0x00, 0x01, 0x80};
  const Bytes last{0x12, 0x34, 0x00, 0x01, 0x00};
  const struct {
    const char* name;
    std::vector<Bytes> frames;
    std::vector<size_t> batches;
  } kCases[] = {
      {"three then a last", {more, more, more, last}, {4}},
      {"one left open", {more}, {1}},
      {"foreign address ends nothing to send", {{0x43, 0x21, 0x00, 0x01, 0x00}}, {}},
      {"foreign address adds nothing", {more, {0x43, 0x21, 0x00, 0x01, 0x00}}, {1}},
      {"shorter than 5 ends", {more, {0x12, 0x34, 0x00, 0x07}}, {2}},
      {"shorter than 3 is dropped", {more, {0x12, 0x34}}, {1}},
      {"128 at most", std::vector<Bytes>(130, more), {128, 2}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    for (const Bytes& frame : c.frames) {
      ASSERT_TRUE(mcc_->Receive(channel_, frame));
      control_test::RunPasses(2);
    }
    Lines lines = Received();
    const Lines later = Run(200, 50);
    lines.insert(lines.end(), later.begin(), later.end());
    EXPECT_EQ(Batches(lines), c.batches);
  }
}

TEST_F(HdlcSlotTest, FullQueueDropsAreCountedAndLoggedOnce) {
  ASSERT_TRUE(mcc_->SetBlocked(channel_, true));
  EXPECT_EQ(SendPackages(kSlot, std::vector<Bytes>(122, Bytes{1})), Lines{"20 success"});
  const Lines lines = Run(3000);
  EXPECT_EQ(Count(lines, "txOverflow 2"), 1u);
  const std::string errors = ErrorText();
  EXPECT_EQ(errors.find("transmit queue full"), errors.rfind("transmit queue full"));
}

TEST_F(HdlcSlotTest, ReportsStatisticsEveryThreeSeconds) {
  EXPECT_EQ(Count(Run(2900), "hdlcLinkInfo"), 0u);
  EXPECT_EQ(Count(Run(3100), "hdlcLinkInfo"), 2u);
}

TEST_F(HdlcSlotTest, ReceiverHalfDisconnectReleasesChannelAndPath) {
  EXPECT_EQ(Switch().OutputOf(6), (sim::TdmSwitch::Output{sim::TdmSwitch::Carries::source, channel_}));
  Disconnect(kSlot);
  EXPECT_TRUE(mcc_->Channels().empty());
  EXPECT_NE(Switch().OutputOf(6).carries, sim::TdmSwitch::Carries::source);
}

}  // namespace
