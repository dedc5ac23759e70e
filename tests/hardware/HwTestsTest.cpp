#include "hardware/HwTests.h"

#include "hardware/HwMux.h"
#include "tests/hardware/ControllerFixture.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

namespace {

using ctrlsrv_test::Capture;
using Operation = sim::TdmSwitch::Operation;
using Strings = std::vector<std::string>;

using Mode = LGCP::BpcTestMode::Alternative;
constexpr Mode kRead = Mode::read, kWrite = Mode::write, kDisconnect = Mode::disconnect;

LGCP::Message TestBpc(Mode mode, unsigned bus, unsigned start, unsigned length, int seed = 1234) {
  LGCP::Message message = ctrlsrv_test::Command(hardware_test::kTestBpc, 3);
  LGCP::BpcTestParams& params = message.get_pdu().get_command().get_testBpc();
  params.set_bus(bus);
  params.set_seed(seed);
  params.set_timeslot_start(start);
  params.set_timeslot_length(length);
  EXPECT_TRUE(params.get_mode().select(mode));
  return message;
}

std::string Hex(int byte) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", byte);
  return text;
}

class HwTestsTest : public hardware_test::ControllerTest {
 protected:
  void SetUp() override {
    ControllerTest::SetUp();
    mux_ = std::make_unique<HwMux>();
    tests_ = std::make_unique<HwTests>(*mux_);
    link.server.Bind(tests_.get());
    link.Connect();
    Switch().ClearRequests();
  }

  // The channels that switch requests of one kind went to.
  std::vector<int> Channels(Operation operation) {
    std::vector<int> channels;
    for (const auto& request : Switch().Requests()) {
      if (request.operation == operation) {
        channels.push_back(request.channel);
      }
    }
    return channels;
  }

  std::unique_ptr<HwMux> mux_;
  std::unique_ptr<HwTests> tests_;
};

TEST_F(HwTestsTest, FirstBadByteFailsTheTest) {
  EXPECT_EQ(Exchange(TestBpc(kWrite, 15, 120, 8, 99)), Strings{"seq=3 success"});
  const int good = Switch().OutputOf(10237).value;
  Switch().SetReadValue(10237, static_cast<uint8_t>(good ^ 0x5A));
  Switch().ClearRequests();
  Capture errors(std::cerr);
  EXPECT_EQ(Exchange(TestBpc(kRead, 15, 120, 8, 99)), Strings{"seq=3 error 10"});
  EXPECT_EQ(Channels(Operation::read), (std::vector<int>{10232, 10233, 10234, 10235, 10236, 10237}));
  EXPECT_EQ(Exchange(TestBpc(kWrite, 15, 120, 8, 99)), Strings{"seq=3 error 10"});
  EXPECT_EQ(errors.Text(), "bus 15: test failed on channel 125 expected " + Hex(good) + " read " + Hex(good ^ 0x5A) +
                               "\nbus 15: write failed on channel 125 write " + Hex(good) + " written " +
                               Hex(good ^ 0x5A) + "\n");
}

// A run that passes the end of its bus would write onto the next bus, or past
// the last output of bus 15.
TEST_F(HwTestsTest, RunMustStayOnItsBus) {
  const struct {
    Mode mode;
    unsigned bus;
    unsigned start;
    unsigned length;
    const char* answer;
    size_t requests;
  } kCases[] = {
      {kWrite, 3, 127, 1, "seq=3 success", 2},    {kWrite, 3, 127, 2, "seq=3 error 0", 0},
      {kWrite, 15, 100, 100, "seq=3 error 0", 0}, {kDisconnect, 1, 64, 65, "seq=3 error 0", 0},
      {kRead, 1, 127, 127, "seq=3 error 0", 0},   {kRead, 1, 127, 0, "seq=3 success", 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.bus << " " << c.start << "+" << c.length);
    Switch().ClearRequests();
    EXPECT_EQ(Exchange(TestBpc(c.mode, c.bus, c.start, c.length)), Strings{c.answer});
    EXPECT_EQ(Switch().Requests().size(), c.requests);
  }
}

}  // namespace
