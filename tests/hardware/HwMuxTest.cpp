#include "hardware/HwMux.h"

#include "platform/Clock.h"
#include "runtime/loop/Multiplexer.h"
#include "tests/hardware/SimulatedHal.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

namespace {

using ctrlsrv_test::Capture;

using sim::TdmSwitch;
using Carries = TdmSwitch::Carries;
using Operation = TdmSwitch::Operation;

constexpr unsigned long kConnectRequest = 0x80084d02;
constexpr unsigned long kDisableRequest = 0x80044d03;

// The refresh is paced by the loop clock, so it stands still here unless a
// test moves it.
class HwMuxTest : public SimulatedHalTest {
 protected:
  void SetUp() override {
    SimulatedHalTest::SetUp();
    platform::clock_control::Freeze(timeval{1000, 0});
  }
  void TearDown() override {
    platform::clock_control::Release();
    SimulatedHalTest::TearDown();
  }
  // One loop pass a millisecond after the last one: its refresh step runs.
  static void NextRefreshStep() {
    platform::clock_control::Advance(1);
    multiplexer.execute_dpc();
  }
};

// Every bus output's shadow, for checking that an operation left them alone.
std::vector<uint16_t> Shadows(const HwMux& mux) {
  std::vector<uint16_t> shadows;
  for (int output = HwMux::kFirstOutput; output < HwMux::kFirstOutput + HwMux::kOutputCount; ++output) {
    shadows.push_back(mux.Shadow(output));
  }
  return shadows;
}

TEST_F(HwMuxTest, OperationsSetSwitchAndShadow) {
  HwMux mux;
  const struct {
    const char* name;
    bool (*operation)(HwMux&);
    int output;
    TdmSwitch::Output carries;
    uint16_t shadow;
  } kCases[] = {
      {"connect", [](HwMux& m) { return m.Connect(300, 8200); }, 8200, {Carries::source, 300}, 300},
      {"disconnect", [](HwMux& m) { return m.Disconnect(8200); }, 8200, {Carries::constant, 0xD5}, HwMux::kConstant},
      {"write", [](HwMux& m) { return m.Write(10239, 0x5A); }, 10239, {Carries::constant, 0x5A}, HwMux::kConstant},
      {"low byte", [](HwMux& m) { return m.Write(8192, 0x1A5); }, 8192, {Carries::constant, 0xA5}, HwMux::kConstant},
      {"disable", [](HwMux& m) { return m.Disable(8200); }, 8200, {Carries::nothing, 0}, HwMux::kDisabled},
      {"connect a trunk source", [](HwMux& m) { return m.Connect(0, 8300); }, 8300, {Carries::source, 0}, 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_TRUE(c.operation(mux));
    EXPECT_EQ(Switch().OutputOf(c.output), c.carries);
    EXPECT_EQ(mux.Shadow(c.output), c.shadow);
  }
}

// Channels outside the bus outputs have no shadow entry: the request still
// reaches the switch and no bus output's shadow changes.
TEST_F(HwMuxTest, ChannelsOutsideBusOutputsLeaveShadowAlone) {
  HwMux mux;
  ASSERT_TRUE(mux.Connect(9000, 8191));
  const auto before = Shadows(mux);
  // The switch itself refuses channels past its last one.
  const struct {
    const char* name;
    bool (*operation)(HwMux&);
    TdmSwitch::Request request;
    bool accepted;
  } kCases[] = {
      {"connect below", [](HwMux& m) { return m.Connect(9000, 100); }, {Operation::connect, 100, 9000}, true},
      {"write below", [](HwMux& m) { return m.Write(101, 7); }, {Operation::write, 101, 7}, true},
      {"disconnect below", [](HwMux& m) { return m.Disconnect(102); }, {Operation::write, 102, 0xD5}, true},
      {"disable below", [](HwMux& m) { return m.Disable(8191); }, {Operation::disable, 8191, 0}, true},
      {"connect above", [](HwMux& m) { return m.Connect(1, 70000); }, {Operation::connect, 70000, 1}, false},
      {"write above", [](HwMux& m) { return m.Write(10240, 7); }, {Operation::write, 10240, 7}, false},
      {"disable above", [](HwMux& m) { return m.Disable(70000); }, {Operation::disable, 70000, 0}, false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    Switch().ClearRequests();
    EXPECT_EQ(c.operation(mux), c.accepted);
    EXPECT_EQ(Switch().Requests(),
              (c.accepted ? std::vector<TdmSwitch::Request>{c.request} : std::vector<TdmSwitch::Request>{}));
    EXPECT_EQ(Shadows(mux), before);
  }
}

TEST_F(HwMuxTest, NegativeChannelIssuesNoRequest) {
  HwMux mux;
  const struct {
    const char* name;
    bool (*operation)(HwMux&);
    const char* line;
  } kCases[] = {
      {"connect source", [](HwMux& m) { return m.Connect(-1, 8200); }, "hwMux: ERROR not opened\n"},
      {"connect destination", [](HwMux& m) { return m.Connect(8200, -5); }, "hwMux: ERROR not opened\n"},
      {"disconnect", [](HwMux& m) { return m.Disconnect(-1); }, ""},
      {"disable", [](HwMux& m) { return m.Disable(-1); }, ""},
      {"write", [](HwMux& m) { return m.Write(-1, 0); }, ""},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    Capture log(std::clog);
    EXPECT_FALSE(c.operation(mux));
    EXPECT_EQ(log.Text(), c.line);
  }
  EXPECT_EQ(mux.Read(-1), std::nullopt);
  EXPECT_TRUE(Switch().Requests().empty());
  EXPECT_EQ(mux.Shadow(8200), HwMux::kDisabled);
}

// A source past the last channel would alias the shadow's markers in 16 bits.
TEST_F(HwMuxTest, ConnectRefusesChannelsPastTheSwitch) {
  HwMux mux;
  ASSERT_TRUE(mux.Connect(300, 8200));
  Switch().ClearRequests();
  const struct {
    int source, destination;
  } kCases[] = {{0xFFFE, 8200}, {0xFFFF, 8200}, {HwMux::kChannelCount, 8200}, {300, HwMux::kChannelCount}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::to_string(c.source) + " -> " + std::to_string(c.destination));
    Capture log(std::clog);
    EXPECT_FALSE(mux.Connect(c.source, c.destination));
    EXPECT_EQ(log.Text(), "hwMux: connect " + std::to_string(c.source) + " -> " + std::to_string(c.destination) +
                              " refused: no such channel\n");
  }
  EXPECT_TRUE(Switch().Requests().empty());
  EXPECT_EQ(mux.Shadow(8200), 300);
  multiplexer.execute_dpc();
  EXPECT_EQ(Switch().OutputOf(8200), (TdmSwitch::Output{Carries::source, 300}));
}

// Outputs the hardware put back into service behind the server's back: a busy
// loop makes one refresh step per millisecond of loop clock however many
// passes it runs, and one sweep of 16 steps switches every one off again.
TEST_F(HwMuxTest, RefreshRestoresGlitchedOutputsWithinOneSweep) {
  HwMux mux;
  ASSERT_TRUE(mux.Connect(300, 8200));
  // Reached by the first step, the seventh, and the last (after the wrap).
  const int kGlitched[] = {8193, 9000, 8192};
  for (int output : kGlitched) {
    ASSERT_EQ(Switch().Connect(output, 7), 0);
  }

  for (int pass = 0; pass < 100; ++pass) {
    multiplexer.execute_dpc();
  }
  EXPECT_EQ(Switch().OutputOf(8193), TdmSwitch::Output{});
  EXPECT_EQ(Switch().OutputOf(9000), (TdmSwitch::Output{Carries::source, 7}));
  EXPECT_EQ(Switch().DisableCount(8194), 2u);

  for (int step = 1; step < 16; ++step) {
    NextRefreshStep();
    multiplexer.execute_dpc();
  }
  for (int output : kGlitched) {
    SCOPED_TRACE(output);
    EXPECT_EQ(Switch().OutputOf(output), TdmSwitch::Output{});
  }
  EXPECT_EQ(Switch().DisableCount(8194), 2u);
  EXPECT_EQ(Switch().OutputOf(8200), (TdmSwitch::Output{Carries::source, 300}));
}

}  // namespace
