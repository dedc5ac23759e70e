#include "slots/Slot.h"

#include "tests/slots/SlotsHarness.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

std::string Printed(const Slot& slot) {
  std::ostringstream text;
  text << slot;
  return text.str();
}

TEST_F(SlotsTest, PrintsTheNumberAndTheKind) {
  CreateProbe(5, 1, 2);
  CreateProbe(1023, 1, 2);
  CreateTrunk(120, 0, 7);
  const ProbeSlot unstored(1, 2, {});
  EXPECT_EQ(Printed(*SlotAt(5)), "05:probe");
  EXPECT_EQ(Printed(*SlotAt(1023)), "1023:probe");
  EXPECT_EQ(Printed(*SlotAt(120)), "120:trunk");
  EXPECT_EQ(Printed(unstored), "na:probe");
}

TEST_F(SlotsTest, EachStreamStateIsReportedOnce) {
  CreateProbe(1, 300, 301);
  Slot& slot = *SlotAt(1);
  const struct {
    const char* name;
    void (Slot::*report)(bool);
    bool on;
    Lines signals;
  } kCases[] = {
      {"input on", &Slot::OnChangeInputStream, true, {"1 receiver active 301"}},
      {"input on again", &Slot::OnChangeInputStream, true, {}},
      {"input off", &Slot::OnChangeInputStream, false, {"1 receiver inactive"}},
      {"input off again", &Slot::OnChangeInputStream, false, {}},
      {"output on", &Slot::OnChangeOutputStream, true, {"1 transmitter active 300"}},
      {"output on again", &Slot::OnChangeOutputStream, true, {}},
      {"output off", &Slot::OnChangeOutputStream, false, {"1 transmitter inactive"}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    (slot.*c.report)(c.on);
    EXPECT_EQ(Received(), c.signals);
  }
}

TEST_F(SlotsTest, StreamsSwitchedOffCutTheirLinksBeforeTheSignal) {
  CreateProbe(1, 300, 301);
  CreateProbe(2, 400, 401);
  CreateProbe(3, 500, 501);
  Connect(1, 2);
  Connect(1, 3);
  Connect(3, 1);
  Received();
  Journal().clear();
  rewriter_.journal_signals = true;
  SlotAt(1)->OnChangeOutputStream(false);
  SlotAt(1)->OnChangeInputStream(false);
  EXPECT_TRUE(SlotAt(1)->GetListeners().empty());
  EXPECT_EQ(SlotAt(1)->GetSource(), nullptr);
  EXPECT_EQ(Switch().OutputOf(401), (sim::TdmSwitch::Output{sim::TdmSwitch::Carries::constant, 0xD5}));
  // 10 is the transmitter signal, 9 the receiver signal.
  EXPECT_EQ(Journal(), (Lines{"IHwDisconnectTransmitter 1", "IOnInputRelease 2", "IHwDisconnectTransmitter 1",
                              "IOnInputRelease 3", "IOnOutputRelease 1", "signal 10", "IHwDisconnectTransmitter 3",
                              "IOnInputRelease 1", "IOnOutputRelease 3", "signal 9"}));
  EXPECT_EQ(Received(), (Lines{"1 transmitter inactive", "1 receiver inactive"}));
}

TEST_F(SlotsTest, ReleaseAndDestroyOutsideTheRules) {
  CreateProbe(1, 300, 301);
  // Not being destroyed: a release means nothing.
  SlotAt(1)->on_release();
  EXPECT_NE(SlotAt(1), nullptr);
  // Built without a factory: destruction goes on, with a complaint.
  ProbeSlot orphan(1, 2, {});
  EXPECT_TRUE(orphan.BeforeDestroy());
  EXPECT_NE(ErrorText().find("slot: internal error!!! BeforeDestroy() not connected to factory"), std::string::npos);
}

// Factories that build nothing; they only take their place in the chain.
class InertFactory : public SlotFactory {
 public:
  const char* GetName() const override { return "inert"; }
  std::unique_ptr<Slot> INewSlot(const LGCP::CreateParams&) override { return nullptr; }
  void Query(LGCP::Resources&) override {}
};

TEST(SlotFactory, TheNewestFactoryIsAskedFirst) {
  static InertFactory older;
  static InertFactory newer;
  EXPECT_EQ(firstFactory, &newer);
  EXPECT_EQ(newer.next(), &older);
}

}  // namespace
