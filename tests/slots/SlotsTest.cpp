#include "slots/Slots.h"

#include "slots/TrunkFactory.h"
#include "slots/TrunkSlot.h"
#include "tests/slots/SlotsHarness.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using sim::TdmSwitch;
using Lines = std::vector<std::string>;
using Carries = TdmSwitch::Carries;
using Operation = TdmSwitch::Operation;

constexpr unsigned long kConnectRequest = 0x80084d02;
constexpr unsigned long kWriteRequest = 0xc0084d04;
constexpr int kIdleByte = 0xD5;

TdmSwitch::Output Carrying(int source) {
  return {Carries::source, source};
}
TdmSwitch::Output Idle() {
  return {Carries::constant, kIdleByte};
}
TdmSwitch::Request Connected(int output, int source) {
  return {Operation::connect, output, source};
}
TdmSwitch::Request Cut(int output) {
  return {Operation::write, output, kIdleByte};
}

TEST_F(SlotsTest, CreateBuildsTrunkSlotsOnTheirChannels) {
  const struct {
    const char* name;
    unsigned trunk, timeslot;
    bool bri;
    Lines answers;
    int trunk_number, trunk_timeslot;
  } kCases[] = {
      {"E1 1/5", 1, 5, false, {"7 success", "7 transmitter : active : 37", "7 receiver : active : 37"}, 1, 5},
      {"E1 3/31", 3, 31, false, {"7 success", "7 transmitter : active : 127", "7 receiver : active : 127"}, 3, 31},
      {"BRI 3/2", 3, 2, true, {"7 success", "7 transmitter : active : 14", "7 receiver : active : 14"}, 3, 2},
      {"no E1 trunk 4", 4, 0, false, {"7 error insufficientResources"}, -1, -1},
      {"a BRI trunk has four channels", 0, 4, true, {"7 error insufficientResources"}, -1, -1},
      {"no BRI trunk 8", 8, 0, true, {"7 error insufficientResources"}, -1, -1},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(CreateTrunk(7, c.trunk, c.timeslot, c.bri), c.answers);
    Slot* slot = SlotAt(7);
    EXPECT_EQ(slot != nullptr, c.trunk_number >= 0);
    if (slot != nullptr) {
      EXPECT_EQ(slot->GetTrunk(), c.trunk_number);
      EXPECT_EQ(slot->GetTrunkTimeSlot(), c.trunk_timeslot);
      EXPECT_EQ(Destroy(7), Lines{"7 success"});
    }
  }
}

TEST_F(SlotsTest, DestroyOfAWindingDownSlotIsAnsweredAtItsRelease) {
  const struct {
    const char* name;
    std::optional<int> seq;
    Lines answer;
  } kCases[] = {
      {"with a sequence number", 41, {"#41 6 success"}},
      {"without one", std::nullopt, {"6 success"}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(CreateProbe(6, 100, 101, {0, true}), Lines{"6 success"});
    EXPECT_EQ(Destroy(6, c.seq), Lines{});
    ASSERT_NE(SlotAt(6), nullptr);
    EXPECT_TRUE(SlotAt(6)->IsDestroying());
    // The probe is still listed by its factory until it is released.
    EXPECT_EQ(ProbeFactory::instance().slots().size(), 1u);
    SlotAt(6)->on_release();
    EXPECT_EQ(Received(), c.answer);
    EXPECT_EQ(SlotAt(6), nullptr);
    EXPECT_TRUE(ProbeFactory::instance().slots().empty());
  }
}

TEST_F(SlotsTest, AWindDownThatCompletesInsideTheHookIsAnsweredAtOnce) {
  // Whatever the hook answers after the release, the slot is gone.
  const struct {
    const char* name;
    bool answer;
    std::function<Lines()> destroy;
    Lines answers;
  } kCases[] = {
      {"destroy", false, [this] { return Destroy(6, 12); }, {"#12 6 success"}},
      {"destroy, answered done", true, [this] { return Destroy(6, 12); }, {"#12 6 success"}},
      {"create over it",
       false,
       [this] { return CreateTrunk(6, 0, 3); },
       {"6 success", "6 transmitter : active : 3", "6 receiver : active : 3"}},
      {"create over it, answered done",
       true,
       [this] { return CreateTrunk(6, 0, 3); },
       {"6 success", "6 transmitter : active : 3", "6 receiver : active : 3"}},
      {"controller loss",
       false,
       [this] {
         DropController();
         return Lines{};
       },
       {}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    ProbeOptions at_once;
    at_once.released_in_hook = true;
    at_once.answer_after_release = c.answer;
    ASSERT_EQ(CreateProbe(6, 100, 101, at_once), Lines{"6 success"});
    EXPECT_EQ(c.destroy(), c.answers);
    EXPECT_TRUE(ProbeFactory::instance().slots().empty());
    if (Slot* slot = SlotAt(6)) {
      EXPECT_STREQ(slot->GetName(), "trunk");
      (void)Destroy(6);
    }
  }
}

TEST_F(SlotsTest, ConnectionPriorityChoosesTheSideThatWorksTheSwitch) {
  const struct {
    const char* name;
    int source_priority, listener_priority;
    Lines hooks;
  } kCases[] = {
      {"equal: the receiver connects, the transmitter cuts",
       0,
       0,
       {"IHwConnectReceiver 2", "IHwDisconnectTransmitter 1"}},
      {"source higher", 1, 0, {"IHwConnectTransmitter 1", "IHwDisconnectTransmitter 1"}},
      {"listener higher", 0, 1, {"IHwConnectReceiver 2", "IHwDisconnectReceiver 2"}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    CreateProbe(1, 300, 301, {c.source_priority});
    CreateProbe(2, 400, 401, {c.listener_priority});
    Journal().clear();
    EXPECT_EQ(Connect(1, 2).back(), "1 success");
    EXPECT_EQ(Switch().OutputOf(401), Carrying(300));
    EXPECT_EQ(SlotAt(2)->GetSource(), SlotAt(1));
    Switch().ClearRequests();
    EXPECT_EQ(Connect(1, 2), Lines{"1 success"});
    EXPECT_TRUE(Switch().Requests().empty()) << "the same connection again changes nothing";
    EXPECT_EQ(Disconnect(2), Lines{"2 success"});
    EXPECT_EQ(Switch().OutputOf(401), Idle());
    Lines hooks;
    for (const std::string& line : Journal()) {
      if (line.rfind("IHw", 0) == 0) {
        hooks.push_back(line);
      }
    }
    EXPECT_EQ(hooks, c.hooks);
  }
}

TEST_F(SlotsTest, ConnectRefusedForAMissingStream) {
  const struct {
    const char* name;
    ProbeOptions source, listener;
    Lines hooks;
    std::string log;
  } kCases[] = {
      {"no output",
       {0, false, false, true},
       {},
       {"IOnOutputStream 1"},
       "slot 01:probe don't have output stream to 02:probe"},
      {"no input",
       {},
       {0, false, true, false},
       {"IOnOutputStream 1", "IOnInputStream 2"},
       "slot 02:probe don't have input stream from 01:probe"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    CreateProbe(1, 300, 301, c.source);
    CreateProbe(2, 400, 401, c.listener);
    Journal().clear();
    Switch().ClearRequests();
    EXPECT_EQ(Connect(1, 2).back(), "1 error connectFail");
    EXPECT_EQ(Journal(), c.hooks);
    EXPECT_TRUE(Switch().Requests().empty());
    EXPECT_NE(ErrorText().find(c.log), std::string::npos) << ErrorText();
  }
}

TEST_F(SlotsTest, ANewSourceReplacesTheOldPath) {
  CreateProbe(1, 300, 301);
  CreateProbe(2, 400, 401);
  CreateProbe(3, 500, 501);
  CreateProbe(4, 600, 601);
  Connect(1, 3);
  Connect(1, 4);
  Switch().ClearRequests();
  Journal().clear();
  EXPECT_EQ(Connect(2, 3), (Lines{"2 transmitter : active : 400", "2 success"}));
  EXPECT_EQ(Switch().Requests(), (std::vector<TdmSwitch::Request>{Cut(501), Connected(501, 400)}));
  EXPECT_EQ(SlotAt(3)->GetSource(), SlotAt(2));
  // Slot 1 still feeds slot 4, so its output stays open.
  EXPECT_EQ(Journal(), (Lines{"IOnOutputStream 2", "IHwDisconnectTransmitter 1", "IHwConnectReceiver 3"}));
  Journal().clear();
  EXPECT_EQ(Connect(2, 4), Lines{"2 success"});
  EXPECT_EQ(Journal(), (Lines{"IHwDisconnectTransmitter 1", "IHwConnectReceiver 4", "IOnOutputRelease 1"}));
}

TEST_F(SlotsTest, AFailedNewSourceLeavesTheOldPath) {
  const struct {
    const char* name;
    unsigned failures;
    TdmSwitch::Output output;
    bool keeps_old_source;
  } kCases[] = {
      {"the old path is put back", 1, Carrying(1), true},
      {"the old path fails too: disconnected", 2, Idle(), false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    CreateTrunk(1, 0, 1);
    CreateTrunk(2, 0, 2);
    CreateTrunk(3, 0, 3);
    ASSERT_EQ(Connect(1, 3), Lines{"1 success"});
    FailNextSwitch(kConnectRequest, c.failures);
    EXPECT_EQ(Connect(2, 3), Lines{"2 error connectFail"});
    EXPECT_EQ(Switch().OutputOf(3), c.output);
    EXPECT_EQ(SlotAt(3)->GetSource(), c.keeps_old_source ? SlotAt(1) : nullptr);
    EXPECT_EQ(SlotAt(1)->GetListeners().size(), c.keeps_old_source ? 1u : 0u);
    EXPECT_TRUE(SlotAt(2)->GetListeners().empty());
  }
}

TEST_F(SlotsTest, DisconnectCutsTheListenerEvenWhenTheSwitchFails) {
  CreateTrunk(1, 1, 1);
  CreateTrunk(2, 1, 2);
  Switch().ClearRequests();
  EXPECT_EQ(Disconnect(2), Lines{"2 success"});
  EXPECT_TRUE(Switch().Requests().empty());

  Connect(1, 2);
  FailNextSwitch(kWriteRequest, 1);
  EXPECT_EQ(Disconnect(2), Lines{"2 error disconnectFail"});
  EXPECT_EQ(SlotAt(2)->GetSource(), nullptr);
  EXPECT_TRUE(SlotAt(1)->GetListeners().empty());
}

TEST_F(SlotsTest, DestroyOfASourceCutsItsListeners) {
  CreateTrunk(1, 0, 10);
  CreateTrunk(2, 0, 11);
  CreateTrunk(3, 0, 12);
  Connect(1, 2);
  Connect(1, 3);
  Connect(2, 1);
  EXPECT_EQ(Destroy(1), Lines{"1 success"});
  EXPECT_EQ(SlotAt(1), nullptr);
  EXPECT_EQ(SlotAt(2)->GetSource(), nullptr);
  EXPECT_EQ(SlotAt(3)->GetSource(), nullptr);
  EXPECT_TRUE(SlotAt(2)->GetListeners().empty());
  EXPECT_EQ(Switch().OutputOf(10), Idle());
  EXPECT_EQ(Switch().OutputOf(11), Idle());
  EXPECT_EQ(Switch().OutputOf(12), Idle());
  EXPECT_EQ(trunk0.SlotOn(10), nullptr);
}

TEST_F(SlotsTest, ErrorAnswers) {
  CreateTrunk(1, 0, 1);
  // Slot 9 is free, slot 1 a trunk.
  const struct {
    const char* name;
    Fill fill;
    const char* on_free;
    const char* on_trunk;  // none: not asked
  } kCases[] = {
      {"connect to the trunk", [](LGCP::Command& c) { c.select_connect() = 1; }, "slotNotExists", nullptr},
      {"connect to a free number", [](LGCP::Command& c) { c.select_connect() = 9; }, nullptr, "slotNotExists"},
      {"disconnect", [](LGCP::Command& c) { c.select_disconnect(); }, "slotNotExists", nullptr},
      {"destroy", [](LGCP::Command& c) { c.select_destroy(); }, "slotNotExists", nullptr},
      {"activate", [](LGCP::Command& c) { c.select_activate().select_empty(); }, "slotNotExists", "unsupported"},
      {"deactivate", [](LGCP::Command& c) { c.select_deactivate(); }, "slotNotExists", "unsupported"},
      {"userData", [](LGCP::Command& c) { c.select_userData().push_back('x'); }, "slotNotExists", "unsupported"},
      {"ioctl", [](LGCP::Command& c) { c.select_ioctl().select_deactivateRecord(); }, "slotNotExists", "unsupported"},
      {"query with a slot number", [](LGCP::Command& c) { c.select_query(); }, nullptr, "unexpectedMsgType"},
      // Kinds nobody builds.
      {"create rtpOnMixer", [](LGCP::Command& c) { c.select_create().select_rtpOnMixer(); }, "insufficientResources",
       nullptr},
      {"create spi-tdm", [](LGCP::Command& c) { c.select_create().select_spi_tdm(); }, "insufficientResources",
       nullptr},
      {"create usb-tdm", [](LGCP::Command& c) { c.select_create().select_usb_tdm(); }, "insufficientResources",
       nullptr},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    if (c.on_free != nullptr) {
      EXPECT_EQ(Send(9, c.fill, 3), Lines{"#3 9 error " + std::string(c.on_free)});
    }
    if (c.on_trunk != nullptr) {
      EXPECT_EQ(Send(1, c.fill, 3), Lines{"#3 1 error " + std::string(c.on_trunk)});
    }
  }
}

TEST_F(SlotsTest, WindingDownSlotsTakeNoNewLinks) {
  CreateTrunk(1, 0, 1);
  CreateProbe(2, 400, 401, {0, true});
  CreateProbe(3, 500, 501, {0, true});
  ASSERT_EQ(Connect(2, 1).back(), "2 success");
  Destroy(2);
  Destroy(3);
  Switch().ClearRequests();
  EXPECT_EQ(Connect(1, 3), Lines{"1 error destroyInProgress"});
  EXPECT_EQ(Connect(2, 1), Lines{"2 error destroyInProgress"});
  EXPECT_TRUE(Switch().Requests().empty());
  SlotAt(2)->on_release();
  SlotAt(3)->on_release();
  EXPECT_EQ(SlotAt(1)->GetSource(), nullptr);
  EXPECT_TRUE(SlotAt(1)->GetListeners().empty());
}

TEST_F(SlotsTest, DeletingASlotCutsEveryLinkToIt) {
  CreateProbe(1, 300, 301);
  CreateProbe(2, 400, 401);
  CreateProbe(3, 500, 501);
  Connect(1, 2);
  Connect(2, 3);
  Slots::instance().int_destroy(SlotAt(2));
  EXPECT_TRUE(SlotAt(1)->GetListeners().empty());
  EXPECT_EQ(SlotAt(3)->GetSource(), nullptr);
  EXPECT_EQ(ProbeFactory::instance().slots(), (std::vector<Slot*>{SlotAt(1), SlotAt(3)}));
}

TEST_F(SlotsTest, ControllerLossDestroysEverySlot) {
  CreateTrunk(1, 0, 1);
  CreateTrunk(2, 0, 2, false);
  CreateProbe(3, 300, 301, {0, true});
  CreateProbe(4, 400, 401, {0, true});
  Connect(1, 2);
  Connect(3, 1);
  Destroy(4, 17);
  Journal().clear();
  DropController();
  EXPECT_TRUE(Slots::instance().all().empty());
  EXPECT_EQ(SlotAt(3), nullptr);
  EXPECT_EQ(trunk0.SlotOn(1), nullptr);
  EXPECT_EQ(Switch().OutputOf(2), Idle());
  EXPECT_EQ(Switch().OutputOf(1), Idle());
  // The probes never released: each gave back what it held and left its factory.
  EXPECT_TRUE(ProbeFactory::instance().slots().empty());
  EXPECT_EQ(Journal(), (Lines{"IHwDisconnectTransmitter 3", "IOnOutputRelease 3", "IBeforeDestroy 3",
                              "IOnForcedRelease 3", "IOnForcedRelease 4"}));
}

}  // namespace
