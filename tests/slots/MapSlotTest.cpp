#include "slots/MapFactory.h"

#include "hardware/HwMux.h"
#include "tests/slots/SlotsHarness.h"

#include <gtest/gtest.h>

#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace {

using sim::TdmSwitch;
using Lines = std::vector<std::string>;
using Carries = TdmSwitch::Carries;

struct Bus {
  unsigned bus, channel;
};

// The switch channel of a bus channel, as the bus numbering has it.
int On(Bus bus) {
  return 8192 + static_cast<int>(bus.bus) * 128 + static_cast<int>(bus.channel);
}

std::string Active(unsigned slot, const char* stream, int channel) {
  return std::to_string(slot) + " " + stream + " : active : " + std::to_string(channel);
}

class MapSlotTest : public SlotsTest {
 protected:
  void SetUp() override {
    SlotsTest::SetUp();
    (void)MapFactory::instance();
  }

  Lines CreateMap(unsigned slot, std::optional<Bus> transmitter, std::optional<Bus> receiver) {
    return Send(slot, [&](LGCP::Command& command) {
      LGCP::MapParams& map = command.select_create().select_map();
      if (transmitter) {
        LGCP::SharedChannel& channel = map.include_transmitter();
        channel.set_bus(transmitter->bus);
        channel.set_channel(transmitter->channel);
      }
      if (receiver) {
        LGCP::SharedChannel& channel = map.include_receiver();
        channel.set_bus(receiver->bus);
        channel.set_channel(receiver->channel);
      }
    });
  }
  std::string LogText() const { return log_.Text(); }

 private:
  ctrlsrv_test::Capture log_{std::clog};
};

TEST_F(MapSlotTest, CreateReportsTheSidesItHasAndDestroyDisablesOnlyTheReceiver) {
  const struct {
    const char* name;
    std::optional<Bus> tx, rx;
    Lines answers;
  } kCases[] = {
      {"transmitter only", Bus{1, 2}, std::nullopt, {"5 success", Active(5, "transmitter", 8322)}},
      {"receiver only", std::nullopt, Bus{0, 3}, {"5 success", Active(5, "receiver", 8195)}},
      {"receiver first",
       Bus{15, 127},
       Bus{2, 0},
       {"5 success", Active(5, "receiver", 8448), Active(5, "transmitter", 10239)}},
      {"one channel both ways",
       Bus{4, 4},
       Bus{4, 4},
       {"5 success", Active(5, "receiver", 8708), Active(5, "transmitter", 8708)}},
      {"neither", std::nullopt, std::nullopt, {"5 success"}},
  };
  CreateTrunk(1, 0, 7);
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(CreateMap(5, c.tx, c.rx), c.answers);
    const int tx = c.tx ? On(*c.tx) : -1;
    const int rx = c.rx ? On(*c.rx) : -1;
    if (rx >= 0) {
      ASSERT_EQ(Connect(1, 5), Lines{"1 success"});
    }
    // The transmit channel is a source: whatever its own output carries stays.
    if (tx >= 0 && tx != rx) {
      ASSERT_TRUE(HwMux::instance().Write(tx, 0x55));
    }
    EXPECT_EQ(Destroy(5), Lines{"5 success"});
    if (rx >= 0) {
      EXPECT_EQ(Switch().OutputOf(rx).carries, Carries::nothing);
      EXPECT_NE(LogText().find("map: disable map channel " + std::to_string(rx - 8192) + "\n"), std::string::npos);
    }
    if (tx >= 0 && tx != rx) {
      EXPECT_EQ(Switch().OutputOf(tx), (TdmSwitch::Output{Carries::constant, 0x55}));
    }
    EXPECT_EQ(LogText().find("internal error"), std::string::npos) << LogText();
  }
}

TEST_F(MapSlotTest, ABusChannelIsHeldByOneSlot) {
  const struct {
    const char* name;
    std::optional<Bus> old_tx, old_rx, new_tx, new_rx;
  } kCases[] = {
      {"receiver over receiver", std::nullopt, Bus{3, 9}, std::nullopt, Bus{3, 9}},
      {"transmitter over receiver", std::nullopt, Bus{3, 9}, Bus{3, 9}, std::nullopt},
      {"receiver over transmitter", Bus{3, 9}, std::nullopt, std::nullopt, Bus{3, 9}},
      {"transmitter over one channel both ways", Bus{3, 9}, Bus{3, 9}, Bus{3, 9}, std::nullopt},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(CreateMap(3, c.old_tx, c.old_rx).front(), "3 success");
    EXPECT_EQ(CreateMap(4, c.new_tx, c.new_rx).front(), "4 success");
    EXPECT_EQ(SlotAt(3), nullptr);
    EXPECT_NE(ErrorText().find("map-slot: two slots require the same ipc-slot, remove old.\n"
                               "new slot na:map <-> old slot 03:map\n"),
              std::string::npos)
        << ErrorText();
    EXPECT_EQ(MapFactory::instance().slots(), std::vector<Slot*>{SlotAt(4)});
    EXPECT_EQ(Destroy(4), Lines{"4 success"});
    EXPECT_EQ(LogText().find("internal error"), std::string::npos) << LogText();
  }
}

}  // namespace
