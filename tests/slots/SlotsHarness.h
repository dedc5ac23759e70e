#pragma once

#include "platform/sim/HalDriver.h"
#include "server/CtrlSrv.h"
#include "slots/Slot.h"
#include "slots/SlotFactory.h"
#include "slots/Slots.h"
#include "tests/server/ControllerLink.h"

#include <gtest/gtest.h>

#include <functional>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

// What the probe slots and their factory were asked, oldest first: "IOnOutputRelease 3".
std::vector<std::string>& Journal();

// How the next probe slot behaves.
struct ProbeOptions {
  int priority = 0;
  bool winds_down = false;
  bool output = true;
  bool input = true;
  // Winds down, but completes at once from inside IBeforeDestroy, which then answers answer_after_release.
  bool released_in_hook = false;
  bool answer_after_release = false;
};

// A slot kind with switch channels of its choice that journals every hook it is
// asked (after the hook's work) and otherwise behaves as a default slot.
class ProbeSlot : public Slot {
 public:
  ProbeSlot(int transmit, int receive, const ProbeOptions& options)
      : transmit_(transmit), receive_(receive), options_(options) {}

  bool IBeforeDestroy() override;
  int GetConnectionPriority() const override { return options_.priority; }
  bool IHwConnectTransmitter(Slot* to) override {
    return Noted("IHwConnectTransmitter", Slot::IHwConnectTransmitter(to));
  }
  bool IHwConnectReceiver(Slot* from) override { return Noted("IHwConnectReceiver", Slot::IHwConnectReceiver(from)); }
  bool IHwDisconnectTransmitter(Slot* to) override {
    return Noted("IHwDisconnectTransmitter", Slot::IHwDisconnectTransmitter(to));
  }
  bool IHwDisconnectReceiver(Slot* from) override {
    return Noted("IHwDisconnectReceiver", Slot::IHwDisconnectReceiver(from));
  }
  bool IOnOutputStream() override { return Noted("IOnOutputStream", options_.output); }
  bool IOnInputStream() override { return Noted("IOnInputStream", options_.input); }
  void IOnOutputRelease() override { Noted("IOnOutputRelease", true); }
  void IOnInputRelease() override { Noted("IOnInputRelease", true); }
  void IOnForcedRelease() override { Noted("IOnForcedRelease", true); }
  int IGetTransmitChannel() const override { return transmit_; }
  int IGetReceiveChannel() const override { return receive_; }
  const char* GetName() const override { return "probe"; }

 private:
  // Journals the hook; the hook's result passes through.
  bool Noted(const char* hook, bool result) const;

  int transmit_;
  int receive_;
  ProbeOptions options_;
};

// Builds a probe slot for a create ext {transmitter, receiver}: the
// transmitter and receiver are its switch channels.
class ProbeFactory : public SlotFactory {
 public:
  static ProbeFactory& instance();

  const char* GetName() const override { return "probes"; }
  std::unique_ptr<Slot> INewSlot(const LGCP::CreateParams& params) override;
  // Adds 3 modems.
  void Query(LGCP::Resources& resources) override;
  void SelfSignal(const LGCP::Signal& signal) override;

  ProbeOptions next;
  // Off: ext creates go on to the real ext factory.
  bool takes_ext = true;
};

// A controller connected to a server that has the slot table bound, on a
// fresh simulated board. Commands go in as frames on the controller's socket;
// answers and signals come back from it, each described on one line: "#4 7
// success" (sequence number, slot number or "-", answer), "7 transmitter :
// active : 37" (a signal in value notation).
class SlotsTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Lets ChildWait reap the children that slots start; once per process.
  static void ReapChildren();

  using Fill = std::function<void(LGCP::Command&)>;
  // Sends one command; returns what came back.
  std::vector<std::string> Send(std::optional<unsigned> slot, const Fill& fill, std::optional<int> seq = {});
  std::vector<std::string> CreateTrunk(unsigned slot, unsigned trunk, unsigned timeslot, bool bri = false);
  std::vector<std::string> CreateProbe(unsigned slot, int transmit, int receive, ProbeOptions options = {});
  std::vector<std::string> Connect(unsigned source, unsigned listener);
  std::vector<std::string> Disconnect(unsigned slot);
  std::vector<std::string> Destroy(unsigned slot, std::optional<int> seq = {});
  // What came back since the last look.
  std::vector<std::string> Received();
  // The controller goes away.
  void DropController();

  sim::TdmSwitch& Switch() { return hal_->Switch(); }
  void FailNextSwitch(unsigned long request, unsigned count) { hal_->FailNextRequest(request, count, EIO); }
  Slot* SlotAt(unsigned number) { return Slots::instance().Find(number); }
  std::string ErrorText() const { return errors_.str(); }

  // Takes a command before the table does when set: rewrites a connect's target.
  class Rewriter : public CtrlSrv::Service {
   public:
    void OnConnect() override {}
    void OnDisconnect() override {}
    bool OnCommand(const LGCP::Command& command) override;
    // Notes "signal <alternative>" in the journal for each signal when set.
    void OnSignal(const LGCP::Signal& signal) override;
    std::optional<unsigned> connect_target;
    bool journal_signals = false;
  };
  Rewriter rewriter_;

 private:
  sim::HalDriver* hal_ = nullptr;
  std::unique_ptr<ctrlsrv_test::ControllerLink> link_;
  std::ostringstream errors_;
  std::streambuf* saved_cerr_ = nullptr;
};
