#include "slots/Slot.h"

#include "tests/slots/SlotsHarness.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

TEST_F(SlotsTest, StreamsSwitchedOffCutTheirLinksBeforeTheSignal) {
  CreateProbe(1, 300, 301);
  CreateProbe(2, 400, 401);
  CreateProbe(3, 500, 501);
  Connect(1, 2);
  Connect(1, 3);
  Connect(3, 1);
  Received();
  // Listeners are kept in the order of their identity, so they are cut in that order.
  const bool two_first = std::less<Slot*>()(SlotAt(2), SlotAt(3));
  const std::string first = two_first ? "2" : "3";
  const std::string second = two_first ? "3" : "2";
  Journal().clear();
  rewriter_.journal_signals = true;
  SlotAt(1)->OnChangeOutputStream(false);
  SlotAt(1)->OnChangeInputStream(false);
  EXPECT_TRUE(SlotAt(1)->GetListeners().empty());
  EXPECT_EQ(SlotAt(1)->GetSource(), nullptr);
  EXPECT_EQ(Switch().OutputOf(401), (sim::TdmSwitch::Output{sim::TdmSwitch::Carries::constant, 0xD5}));
  // 10 is the transmitter signal, 9 the receiver signal.
  EXPECT_EQ(Journal(), (Lines{"IHwDisconnectTransmitter 1", "IOnInputRelease " + first, "IHwDisconnectTransmitter 1",
                              "IOnInputRelease " + second, "IOnOutputRelease 1", "signal 10",
                              "IHwDisconnectTransmitter 3", "IOnInputRelease 1", "IOnOutputRelease 3", "signal 9"}));
  EXPECT_EQ(Received(), (Lines{"1 transmitter : inactive : NULL", "1 receiver : inactive : NULL"}));
}

TEST_F(SlotsTest, DeviceEventsBecomeSignals) {
  CreateProbe(4, 1, 2);
  Slot& slot = *SlotAt(4);
  const struct {
    const char* name;
    std::function<void(Slot&)> event;
    Lines signals;
    const char* complaint;
  } kCases[] = {
      {"tone generated",
       [](Slot& s) { s.processToneGenEvent(); },
       {"4 tonec : { timestamp 0, event dtmfDone : NULL}"},
       nullptr},
      {"tone present",
       [](Slot& s) { s.processToneFltEvent(2100, 7); },
       {"4 tonec : { timestamp 0, event tone-presence : { freq 2100, presence TRUE }}"},
       nullptr},
      {"VAD both ways", [](Slot& s) { s.processVADEvent(1, 0); }, {"4 vad : { vad-rx TRUE, vad-tx FALSE}"}, nullptr},
      {"VAD without a direction", [](Slot& s) { s.processVADEvent(-1, -1); }, {}, "bad VAD event, ignored."},
      {"SD", [](Slot& s) { s.processSDEvent(0); }, {"4 sd : { sd-rx FALSE}"}, nullptr},
      {"SD unreported", [](Slot& s) { s.processSDEvent(-1); }, {}, "bad SD event, ignored."},
      {"flags: voice received, then SELCAL",
       [](Slot& s) { s.processFlagsEvent(0xA0000000u, 0xA0000000u); },
       {"4 vad : { vad-rx TRUE}", "4 selcal : { in-progress TRUE}"},
       nullptr},
      {"flags: nothing reported", [](Slot& s) { s.processFlagsEvent(0xE0000000u, 0x1FFFFFFFu); }, {}, nullptr},
      {"BSS score", [](Slot& s) { s.processBSSEvent(0.5f); }, {"4 bss : { score \"0.500000\"}"}, nullptr},
      {"BSS score cut at 30 characters",
       [](Slot& s) { s.processBSSEvent(1e30f); },
       {"4 bss : { score \"100000001504746621987668885504\"}"},
       nullptr},
      {"packet detector",
       [](Slot& s) {
         s.processRtpEvent(rtp_event{1, 5, 300});
       },
       {"4 rtp : pd : { value 5, timeout 300}"},
       nullptr},
      {"other RTP event",
       [](Slot& s) {
         s.processRtpEvent(rtp_event{2, 5, 300});
       },
       {},
       nullptr},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const size_t logged = ErrorText().size();
    c.event(slot);
    EXPECT_EQ(Received(), c.signals);
    const std::string complaint = ErrorText().substr(logged);
    EXPECT_EQ(complaint, c.complaint == nullptr ? "" : std::string(c.complaint) + "\n");
  }
}

}  // namespace
