#include "server/HeartBeatCtl.h"

#include "platform/Clock.h"
#include "tests/server/ControllerLink.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace ctrlsrv_test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using Strings = std::vector<std::string>;

constexpr auto kTrunkCfg = LGCP::Command::Alternative::trunkCfg;

// The heartbeat bound first, as at start-up, and behind it a service that fails every destroy and takes nothing
// else; the clock moves only when the test moves it.
class HeartBeatCtlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::clock_control::Freeze(timeval{1000, 0});
    slots_.reaction = [](FakeService& s, const LGCP::Command& c) {
      if (!c.is_destroy()) {
        return false;
      }
      s.Error(LGCP::ErrorCause::slotNotExists);
      return true;
    };
    NewLink();
  }
  void TearDown() override {
    link_.reset();
    platform::clock_control::Release();
  }

  // A new server, with a controller connected.
  void NewLink() {
    link_.reset();
    link_ = std::make_unique<ControllerLink>();
    link_->server.Bind(&HeartBeatCtl::instance());
    link_->server.Bind(&slots_);
    link_->Connect();
    journal_.clear();
  }

  void Advance(uint64_t ms) {
    platform::clock_control::Advance(ms);
    Pump();
  }

  Strings journal_;
  FakeService slots_{"slots", journal_};
  std::unique_ptr<ControllerLink> link_;
};

TEST_F(HeartBeatCtlTest, LeavesAControllerAloneUntilItsFirstCommand) {
  // The last controller's command must not arm the watchdog for the next one.
  link_->Send(Command(kPing, 1));
  Advance(60000);
  NewLink();
  Capture log(std::clog);

  for (int i = 0; i < 5; ++i) {
    Advance(HeartBeatCtl::kTimeoutMs);
  }

  EXPECT_TRUE(link_->IsConnected());
  EXPECT_FALSE(HeartBeatCtl::instance().IsArmed());
  EXPECT_THAT(log.Text(), Not(HasSubstr("heartbeat timeout!!!")));
}

TEST_F(HeartBeatCtlTest, ReArmsOnEveryCommandThatReachesTheServices) {
  LGCP::Message response = Command(kPing, 5);
  response.get_pdu().select_response().select_success();
  const struct {
    const char* name;
    Bytes payload;
    bool rearms;
  } kCases[] = {
      {"ping", Encode(Command(kPing, 5)), true},
      {"failing command", Encode(Command(kDestroy, 5, 3)), true},
      {"command nobody takes", Encode(Command(kTrunkCfg, 5)), true},
      {"slot 1023", {0xC0, 0x01, 0x05, 0x03, 0xFF, 0x0A}, true},
      {"slot 1024", {0xC0, 0x01, 0x05, 0x04, 0x00, 0x0A}, false},
      {"response from the controller", Encode(response), false},
      {"undecodable", {0x30}, false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    NewLink();
    link_->Send(Command(kPing, 1));
    Advance(100000);

    link_->SendPayload(c.payload);
    Advance(HeartBeatCtl::kTimeoutMs - 100000);

    EXPECT_EQ(link_->IsConnected(), c.rearms);
  }
}

}  // namespace
}  // namespace ctrlsrv_test
