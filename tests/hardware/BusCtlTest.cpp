#include "hardware/BusCtl.h"

#include "hardware/spiCtrl.h"
#include "tests/hardware/ControllerFixture.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

namespace {

using ctrlsrv_test::Capture;
using Strings = std::vector<std::string>;

LGCP::Message ClockCfg(LGCP::ClkSel0::NamedNumber select, LGCP::BExtEn::NamedNumber external, int source) {
  LGCP::Message message = ctrlsrv_test::Command(hardware_test::kClockCfg, 7);
  LGCP::ClockCfg& config = message.get_pdu().get_command().get_clockCfg();
  config.set_clkSel0(select);
  config.set_bextEn(external);
  config.set_source(source);
  return message;
}

class BusCtlTest : public hardware_test::ControllerTest {
 protected:
  // Built on the fresh board.
  void SetUp() override {
    ControllerTest::SetUp();
    spi_ = std::make_unique<spiCtrl>();
    bus_ = std::make_unique<BusCtl>(*spi_);
    link.server.Bind(bus_.get());
  }
  // The clock sources selected since the last call.
  std::vector<int> Selected() {
    const std::vector<int> all = Hal().ClockSelections();
    const std::vector<int> fresh(all.begin() + static_cast<long>(seen_), all.end());
    seen_ = all.size();
    return fresh;
  }

  std::unique_ptr<spiCtrl> spi_;
  std::unique_ptr<BusCtl> bus_;

 private:
  size_t seen_ = 0;
};

TEST_F(BusCtlTest, ControllerComingGoingAndAskingChoosesTheClock) {
  link.Connect();
  EXPECT_EQ(Selected(), std::vector<int>{4});
  const struct {
    LGCP::ClkSel0::NamedNumber select;
    LGCP::BExtEn::NamedNumber external;
    int source;
    std::vector<int> selected;
    const char* line;  // after the command in value notation
  } kCases[] = {
      {LGCP::ClkSel0::external, LGCP::BExtEn::enabled, 2, {2}, "clkctl: clock source = f2\n"},
      {LGCP::ClkSel0::external, LGCP::BExtEn::enabled, -1, {}, ""},
      {LGCP::ClkSel0::internal, LGCP::BExtEn::enabled, 2, {4}, "clkctl: clock source = freerun\n"},
      {LGCP::ClkSel0::external, LGCP::BExtEn::disabled, 1, {5}, "clkctl: clock source = X3\n"},
      {LGCP::ClkSel0::external, LGCP::BExtEn::enabled, 9, {9}, "clkctl: clock source = 9\n"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.source);
    Capture errors(std::cerr);
    EXPECT_EQ(Exchange(ClockCfg(c.select, c.external, c.source)), Strings{"seq=7 success"});
    EXPECT_EQ(Selected(), c.selected);
    const std::string text = errors.Text();
    EXPECT_EQ(text.rfind("clkctl: set clock source cmd: ", 0), 0u) << text;
    EXPECT_EQ(text.substr(text.rfind("}\n") + 2), c.line);
  }
  link.server.Deactivate();
  EXPECT_EQ(Selected(), std::vector<int>{4});
}

// Without its own HAL descriptor the clock control at least takes the clock
// master away from the line chips; the device is opened at the next use. A
// clock the bus did not take is answered busError.
TEST_F(BusCtlTest, UnopenedDeviceFreesTheLineChipClock) {
  Hal().FailNext(sim::Call::kOpen, 2, ENOENT);
  link.Connect();
  spi_->clock(3);
  LGCP::Message command = ClockCfg(LGCP::ClkSel0::external, LGCP::BExtEn::enabled, 1);
  Capture errors(std::cerr);
  EXPECT_EQ(Exchange(command), Strings{"seq=7 error 10"});
  EXPECT_EQ(errors.Text(), "clkctl: set clock source fail: code 1.\n");
  EXPECT_EQ(Chips().Register(3, 0x57), 0x30);
  EXPECT_EQ(Selected(), std::vector<int>{});

  Hal().FailNextRequest(0x80044301, 1, EIO);
  EXPECT_EQ(Exchange(command), Strings{"seq=7 error 10"});
  EXPECT_NE(errors.Text().find("clkctl: HW_CLOCK_SELECT fail.\n"), std::string::npos);
  EXPECT_EQ(Exchange(command), Strings{"seq=7 success"});
  EXPECT_EQ(Selected(), std::vector<int>{1});
}

}  // namespace
