#pragma once

#include "platform/Clock.h"
#include "platform/sim/Board.h"
#include "platform/sim/HalDriver.h"
#include "tests/server/ControllerLink.h"
#include "tests/support/FreshBoard.h"

#include <gtest/gtest.h>

// A fresh simulated board with its "/dev/hal" for each test; device sleeps skipped.
class SimulatedHalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test_support::FreshBoard();
    hal_ = sim::Board::instance().Find<sim::HalDriver>(sim::HalDriver::kPath);
    ASSERT_NE(hal_, nullptr);
    platform::clock_control::SkipSleeps(true);
  }
  void TearDown() override { platform::clock_control::SkipSleeps(false); }

  sim::HalDriver& Hal() { return *hal_; }
  sim::TdmSwitch& Switch() { return hal_->Switch(); }
  sim::LineChips& Chips() { return hal_->Chips(); }
  void FailNext(unsigned long request, int error, unsigned count) { hal_->FailNextRequest(request, count, error); }
  void SetDeviceAbsent(bool absent) { hal_->SetAbsent(absent); }

 private:
  sim::HalDriver* hal_ = nullptr;
};
