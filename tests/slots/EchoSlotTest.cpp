#include "slots/EchoFactory.h"

#include "tests/slots/SlotsHarness.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace {

using sim::TdmSwitch;
using Lines = std::vector<std::string>;
using Carries = TdmSwitch::Carries;

// As the factory would be on a board where the scan found echo bus 3.
class EchoFactoryWithBus3 : public EchoFactory {
 public:
  static EchoFactoryWithBus3& instance() {
    static EchoFactoryWithBus3 factory;
    return factory;
  }

 private:
  EchoFactoryWithBus3() { present_[3] = true; }
};

class EchoSlotTest : public SlotsTest {
 protected:
  Lines CreateEcho(unsigned slot, int bus, int channel) {
    return Send(slot, [&](LGCP::Command& command) {
      LGCP::EchoParams& echo = command.select_create().select_echo();
      echo.set_bus(bus);
      echo.set_channel(channel);
    });
  }
  // The echo buses of the resource report.
  std::string EchoBuses() {
    const Lines lines = Send(std::nullopt, [](LGCP::Command& command) { command.select_query(); });
    for (const std::string& line : lines) {
      const size_t at = line.find("echoBus");
      if (at != std::string::npos) {
        return line.substr(at, line.find('}', at) - at + 1);
      }
    }
    return "no report";
  }
};

TEST_F(EchoSlotTest, SlotsOnlyOnAPresentBus) {
  // As built, the scan finds no bus.
  (void)EchoFactory::instance();
  EXPECT_EQ(CreateEcho(2, 0, 0), Lines{"2 error insufficientResources"});
  EXPECT_EQ(EchoBuses(), "echoBus { }");

  (void)EchoFactoryWithBus3::instance();
  EXPECT_EQ(EchoBuses(), "echoBus { 3 }");
  EXPECT_EQ(CreateEcho(2, 3, 5), (Lines{"2 success", "2 transmitter : active : 101", "2 receiver : active : 101"}));
  CreateTrunk(1, 0, 4);
  EXPECT_EQ(Connect(2, 1), Lines{"2 success"});
  EXPECT_EQ(Switch().OutputOf(4), (TdmSwitch::Output{Carries::source, 101}));
  EXPECT_EQ(Connect(1, 2), Lines{"1 success"});
  EXPECT_EQ(Switch().OutputOf(101), (TdmSwitch::Output{Carries::source, 4}));

  // Buses and channels the controller may send that name no channel of a present bus.
  const struct { int bus, channel; } kRefused[] = {{2, 0}, {-1, 0}, {INT_MIN, 0}, {3, 32}, {3, -1}, {3, INT_MAX}};
  for (const auto& c : kRefused) {
    SCOPED_TRACE(std::to_string(c.bus) + "/" + std::to_string(c.channel));
    EXPECT_EQ(CreateEcho(6, c.bus, c.channel), Lines{"6 error insufficientResources"});
  }
}

}  // namespace
