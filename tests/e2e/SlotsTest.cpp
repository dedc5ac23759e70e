#include "tests/e2e/GatewayFixture.h"

#include <gtest/gtest.h>

#include <string>

namespace e2e {
namespace {

// Trunk 1 starts at switch channel 32.
constexpr unsigned kSource = 5;
constexpr unsigned kListener = 6;
constexpr int kSourceChannel = 37;    // trunk 1, timeslot 5
constexpr int kListenerChannel = 38;  // trunk 1, timeslot 6

// The idle byte a cut output sends.
const char kIdle[] = "ok constant 213";

class TrunkSlotsTest : public GatewayFixture {
 protected:
  void SetUp() override {
    GatewayFixture::SetUp();
    CreateTrunkSlot(1, kSource, 5);
    CreateTrunkSlot(2, kListener, 6);
  }

  std::string Output(int channel) { return board_.Ask("/dev/hal output " + std::to_string(channel)); }
};

TEST_F(TrunkSlotsTest, ConnectsDisconnectsAndDestroysThroughTheSwitch) {
  ASSERT_TRUE(controller_.Send(Connect(3, kSource, kListener)));
  ExpectNext(controller_, {3, kSource, "success"});
  EXPECT_EQ(Output(kListenerChannel), "ok source " + std::to_string(kSourceChannel));
  ASSERT_TRUE(controller_.Send(Disconnect(4, kListener)));
  ExpectNext(controller_, {4, kListener, "success"});
  EXPECT_EQ(Output(kListenerChannel), kIdle);

  // Destroying a source cuts its listener first.
  ASSERT_TRUE(controller_.Send(Connect(5, kSource, kListener)));
  ExpectNext(controller_, {5, kSource, "success"});
  ASSERT_TRUE(controller_.Send(Destroy(6, kSource)));
  ExpectNext(controller_, {6, kSource, "success"});
  EXPECT_EQ(Output(kListenerChannel), kIdle);
  ASSERT_TRUE(controller_.Send(Destroy(7, kListener)));
  ExpectNext(controller_, {7, kListener, "success"});

  // Both numbers and both timeslots are free again.
  CreateTrunkSlot(8, kSource, 5);
  CreateTrunkSlot(9, kListener, 6);
}

// The slot table's own test walks the other refusals.
TEST_F(TrunkSlotsTest, RefusesADestroyWithoutASlot) {
  ASSERT_TRUE(controller_.Send(Command(29, std::nullopt, [](LGCP::Command& c) { c.select_destroy(); })));
  ExpectNext(controller_, {29, std::nullopt, "error unexpectedMsgType"});
}

using FactoriesTest = GatewayFixture;

TEST_F(FactoriesTest, BuildsEachKindStartUpMade) {
  // A map slot receiving bus 1 channel 3: switch output 8192 + 128 + 3.
  ASSERT_TRUE(controller_.Send(Command(1, 20, [](LGCP::Command& c) {
    LGCP::MapParams& map = c.select_create().select_map();
    LGCP::SharedChannel& receiver = map.include_receiver();
    receiver.set_bus(1);
    receiver.set_channel(3);
  })));
  ExpectNext(controller_, {1, 20u, "success"});
  ExpectNext(controller_, {std::nullopt, 20u, "receiver active 8323"});
  ASSERT_TRUE(controller_.Send(Command(2, 21, [](LGCP::Command& c) {
    LGCP::ExtParams& ext = c.select_create().select_ext();
    ext.set_transmitter(100);
    ext.set_receiver(101);
  })));
  ExpectNext(controller_, {2, 21u, "success"});
  ExpectNext(controller_, {std::nullopt, 21u, "transmitter active 100"});
  ASSERT_TRUE(controller_.Send(Connect(3, 21, 20)));
  ExpectNext(controller_, {3, 21u, "success"});
  EXPECT_EQ(board_.Ask("/dev/hal output 8323"), "ok source 100");

  // No echo bus is present on this board.
  ASSERT_TRUE(controller_.Send(Command(4, 22, [](LGCP::Command& c) { c.select_create().select_echo(); })));
  ExpectNext(controller_, {4, 22u, "error insufficientResources"});
}

TEST_F(FactoriesTest, FilePlayerPlaysItsPhraseOntoItsMccChannel) {
  std::filesystem::create_directories(server_.Path("/usr/local/voice"));
  std::ofstream(server_.Path("/usr/local/voice/hello")) << "hello";
  ASSERT_TRUE(controller_.Send(CreateTrunk(1, 5, 1, 5)));
  ExpectNext(controller_, {1, 5u, "success"});
  ExpectNext(controller_, {std::nullopt, 5u, "transmitter active 37"});
  ExpectNext(controller_, {std::nullopt, 5u, "receiver active 37"});
  ASSERT_TRUE(controller_.Send(Command(2, 23, [](LGCP::Command& c) {
    LGCP::PlayerParams_file& file = c.select_create().select_voice().select_player().select_file();
    file.get_name().push_back(ASN1::IA5String("hello"));
    file.set_repeat(1);
  })));
  ExpectNext(controller_, {2, 23u, "success"});
  ASSERT_TRUE(controller_.Send(Connect(3, 23, 5)));
  ExpectNext(controller_, {std::nullopt, 23u, "transmitter active 512"});
  ExpectNext(controller_, {3, 23u, "success"});
  // Played once, the player lets its listener go and aborts.
  ExpectNext(controller_, {std::nullopt, 23u, "transmitter inactive"});
  ExpectNext(controller_, {std::nullopt, 23u, "signal #7"});
  EXPECT_EQ(board_.Ask("/dev/mcc/ctl tx 512"), "ok 68656c6c6f");
  ASSERT_TRUE(controller_.Send(Destroy(4, 23)));
  ExpectNext(controller_, {4, 23u, "success"});
  EXPECT_EQ(board_.Ask("/dev/mcc/ctl channels"), "ok");
}

}  // namespace
}  // namespace e2e
