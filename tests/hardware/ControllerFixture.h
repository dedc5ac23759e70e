#pragma once

#include "platform/Clock.h"
#include "platform/sim/E1CasDriver.h"
#include "platform/sim/MaintenanceDriver.h"
#include "schemas/ACP.h"
#include "schemas/LGCP.h"
#include "tests/hardware/SimulatedHal.h"
#include "tests/server/ControllerLink.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace hardware_test {

// Command alternatives of LGCP::Command.
constexpr auto kTestBpc = LGCP::Command::Alternative::testBpc;
constexpr auto kIoctl = LGCP::Command::Alternative::ioctl;
constexpr auto kTrunkCfg = LGCP::Command::Alternative::trunkCfg;
constexpr auto kClockCfg = LGCP::Command::Alternative::clockCfg;

// "trunk 1 state 2 slips 3 bf 4 carrier 5 ais 6 rai 7 e1", "cas 1/5 rx 3 tx 11".
inline std::string DescribeSignal(const LGCP::Signal& signal) {
  if (signal.is_cas()) {
    const LGCP::CasSignalling& cas = signal.get_cas();
    return "cas " + std::to_string(cas.get_channel().get_path().getValue()) + "/" +
           std::to_string(cas.get_channel().get_timeslot().getValue()) + " rx " +
           std::to_string(cas.get_rx().getValue()) + " tx " + std::to_string(cas.get_tx().getValue());
  }
  const ACP::TrunkStatus& status = signal.get_trunkStatus();
  // Never named and never the clock master.
  EXPECT_TRUE(status.get_name().empty());
  EXPECT_FALSE(status.get_clockMaster().getValue());
  return "trunk " + std::to_string(status.get_trunk().getValue()) + " state " +
         std::to_string(status.get_state().getValue()) + " slips " + std::to_string(status.get_slips().getValue()) +
         " bf " + std::to_string(status.get_lossBF().getValue()) + " carrier " +
         std::to_string(status.get_lossCarrier().getValue()) + " ais " +
         std::to_string(status.get_lossAIS().getValue()) + " rai " + std::to_string(status.get_lossRAI().getValue()) +
         (status.get_type().getValue() == ACP::TrunkType::e1 ? " e1" : " bri");
}

// Hears the signals the other services send, before the controller does.
class Listener : public CtrlSrv::Service {
 public:
  void OnConnect() override {}
  void OnDisconnect() override {}
  bool OnCommand(const LGCP::Command&) override { return false; }
  void OnSignal(const LGCP::Signal& signal) override { heard.push_back(DescribeSignal(signal)); }

  std::vector<std::string> heard;
};

// A fresh simulated board, a frozen loop clock and a controller link whose
// controller end the test plays. Answers read "success" or "error 10", with
// "seq=3 " or "slot=12 " in front when they carry one.
class ControllerTest : public SimulatedHalTest {
 protected:
  void SetUp() override {
    SimulatedHalTest::SetUp();
    platform::clock_control::Freeze(timeval{100000, 0});
    maintenance_ = sim::Board::instance().Find<sim::MaintenanceDriver>(sim::MaintenanceDriver::kPath);
    cas_ = sim::Board::instance().Find<sim::E1CasDriver>(sim::E1CasDriver::kPath);
  }
  void TearDown() override {
    platform::clock_control::Release();
    SimulatedHalTest::TearDown();
  }

  sim::MaintenanceDriver& Maintenance() { return *maintenance_; }
  sim::E1CasDriver& Cas() { return *cas_; }

  // Sends one command; what the server sent since the last call.
  std::vector<std::string> Exchange(const LGCP::Message& message) {
    link.Send(message);
    return Received();
  }
  std::vector<std::string> Received() {
    std::vector<std::string> described;
    for (const auto& payload : link.ReceivedPayloads()) {
      LGCP::Message message;
      EXPECT_TRUE(ctrlsrv_test::Decode(payload, message));
      const bool signal = message.get_pdu().is_signal();
      described.push_back(signal ? DescribeSignal(message.get_pdu().get_signal()) : ctrlsrv_test::Describe(message));
      EXPECT_FALSE(signal && (message.has_seq() || message.has_slot())) << described.back();
    }
    return described;
  }
  // Moves the loop clock and lets the due timers fire.
  std::vector<std::string> AdvanceMs(uint64_t ms) {
    platform::clock_control::Advance(ms);
    return Received();
  }

  ctrlsrv_test::ControllerLink link;

 private:
  sim::MaintenanceDriver* maintenance_ = nullptr;
  sim::E1CasDriver* cas_ = nullptr;
};

}  // namespace hardware_test
