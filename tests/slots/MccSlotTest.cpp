#include "slots/MccFactory.h"

#include "platform/sim/Board.h"
#include "platform/sim/MccDriver.h"
#include "tests/slots/SlotsHarness.h"

#include <gtest/gtest.h>

#include <fcntl.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using sim::MccDriver;
using sim::TdmSwitch;
using Lines = std::vector<std::string>;
using Bytes = std::vector<uint8_t>;
using Carries = TdmSwitch::Carries;

constexpr unsigned long kAllocate = 0x40144d00;
constexpr unsigned long kTimeslot = 0x20004d02;
constexpr unsigned long kQuery = 0x80104d03;

// A userData signal as the harness describes it.
std::string UserData(unsigned slot, const Bytes& bytes) {
  std::string hex;
  char digits[4];
  for (uint8_t byte : bytes) {
    std::snprintf(digits, sizeof digits, hex.empty() ? "%02x" : " %02x", byte);
    hex += digits;
  }
  return std::to_string(slot) + " userData : '" + hex + "'H";
}

class MccSlotTest : public SlotsTest {
 protected:
  void SetUp() override {
    SlotsTest::SetUp();
    mcc_ = sim::Board::instance().Find<MccDriver>(MccDriver::kPath);
    ASSERT_NE(mcc_, nullptr);
    (void)MccFactory::instance();
  }
  void TearDown() override {
    SlotsTest::TearDown();
    mcc_->SetAbsent(false);
  }

  Lines CreateMcc(unsigned slot, LGCP::MccType::NamedNumber type,
                  LGCP::MccMode::NamedNumber mode = LGCP::MccMode::standard) {
    return Send(slot, [&](LGCP::Command& command) {
      LGCP::MccParams& mcc = command.select_create().select_mcc();
      mcc.set_type(type);
      mcc.set_mode(mode);
    });
  }
  Lines SendUserData(unsigned slot, const Bytes& bytes) {
    return Send(slot, [&](LGCP::Command& command) { command.select_userData().assign(bytes.begin(), bytes.end()); });
  }
  // The slot's switch channel, which names its MCC channel on the simulated board.
  int ChannelOf(unsigned slot) { return SlotAt(slot)->IGetTransmitChannel(); }

  MccDriver* mcc_ = nullptr;
};

TEST_F(MccSlotTest, CreateAllocatesTheChannelOfItsType) {
  const struct {
    const char* name;
    LGCP::MccType::NamedNumber type;
    LGCP::MccMode::NamedNumber mode;
    uint32_t allocated;
  } kCases[] = {
      {"data", LGCP::MccType::data, LGCP::MccMode::standard, MccDriver::kData},
      {"bri", LGCP::MccType::bri, LGCP::MccMode::standard, MccDriver::kBri},
      {"transparent", LGCP::MccType::transparent, LGCP::MccMode::standard, MccDriver::kTransparent},
      {"ss7 whatever the type", LGCP::MccType::transparent, LGCP::MccMode::ss7, MccDriver::kSs7},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(CreateMcc(5, c.type, c.mode), Lines{"5 success"});
    ASSERT_NE(SlotAt(5), nullptr);
    EXPECT_EQ(SlotAt(5)->IGetReceiveChannel(), ChannelOf(5));
    const std::optional<MccDriver::Channel> channel = mcc_->ChannelOf(ChannelOf(5));
    ASSERT_TRUE(channel.has_value());
    EXPECT_EQ(channel->type, c.allocated);
    EXPECT_EQ(channel->rx_packet_size, 512u);
    EXPECT_EQ(channel->rx_threshold, 1u);
    EXPECT_EQ(channel->tx_threshold, 1u);
    EXPECT_EQ(channel->open_flags & (O_ACCMODE | O_NONBLOCK), O_RDWR | O_NONBLOCK);
    // Its only descriptor is the slot's: destroyed, the channel is free.
    EXPECT_EQ(Destroy(5), Lines{"5 success"});
    EXPECT_TRUE(mcc_->Channels().empty());
  }
}

TEST_F(MccSlotTest, CreateRefusedWhenTheDeviceRefuses) {
  const struct {
    const char* name;
    std::function<void()> fail;
    std::string line;
  } kCases[] = {
      {"no device", [this] { mcc_->SetAbsent(true); }, "mcc: fail to open MCC device: No such file or directory\n"},
      {"no channel left", [this] { mcc_->FailNextRequest(kAllocate, 1, ENOSPC); },
       "mcc: MCC_ALLOCATE fail: No space left on device\n"},
      // A negative channel number must not reach the switch.
      {"no switch channel", [this] { mcc_->FailNextRequest(kTimeslot, 1, EIO); },
       "mcc: MCC_TIMESLOT fail: Input/output error\n"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    c.fail();
    EXPECT_EQ(CreateMcc(5, LGCP::MccType::data), Lines{"5 error insufficientResources"});
    EXPECT_NE(ErrorText().find(c.line), std::string::npos) << ErrorText();
    EXPECT_TRUE(mcc_->Channels().empty());
    mcc_->SetAbsent(false);
  }
}

TEST_F(MccSlotTest, ReceivedFramesGoToTheControllerAsUserData) {
  CreateMcc(5, LGCP::MccType::data);
  CreateMcc(6, LGCP::MccType::transparent);
  ASSERT_TRUE(mcc_->Receive(ChannelOf(5), {0x01, 0x02}));
  ASSERT_TRUE(mcc_->Receive(ChannelOf(5), {0x03}));
  ctrlsrv_test::Pump();
  EXPECT_EQ(Received(), (Lines{UserData(5, {0x01, 0x02}), UserData(5, {0x03})}));

  // A transparent burst comes in the pieces the device reads it in, nothing lost.
  ASSERT_TRUE(mcc_->Receive(ChannelOf(6), Bytes(1300, 0x5a)));
  ctrlsrv_test::Pump();
  EXPECT_EQ(Received(),
            (Lines{UserData(6, Bytes(512, 0x5a)), UserData(6, Bytes(512, 0x5a)), UserData(6, Bytes(276, 0x5a))}));
}

TEST_F(MccSlotTest, UserDataGoesOutAsOneFrameAndWaitsOutBackPressure) {
  CreateMcc(5, LGCP::MccType::data);
  const int channel = ChannelOf(5);
  EXPECT_EQ(SendUserData(5, {0x10, 0x20, 0x30}), Lines{"5 success"});
  EXPECT_EQ(mcc_->TakeTransmitted(channel), (std::vector<Bytes>{{0x10, 0x20, 0x30}}));

  // A channel that pushes back takes nothing, and the controller hears it is busy.
  ASSERT_TRUE(mcc_->SetBlocked(channel, true));
  EXPECT_EQ(SendUserData(5, {0x40}), Lines{"5 error insufficientResources"});
  EXPECT_EQ(mcc_->TakeTransmitted(channel), std::vector<Bytes>{});
  ASSERT_TRUE(mcc_->SetBlocked(channel, false));
  ctrlsrv_test::Pump();
  EXPECT_EQ(SendUserData(5, {0x50}), Lines{"5 success"});
  EXPECT_EQ(mcc_->TakeTransmitted(channel), (std::vector<Bytes>{{0x50}}));

  // A frame the device cannot take at all is refused with a line, not answered as sent.
  EXPECT_EQ(SendUserData(5, {}), Lines{"5 error unsupported"});
  EXPECT_NE(ErrorText().find("mcc: 05:MCC write fail: Invalid argument\n"), std::string::npos) << ErrorText();
}

TEST_F(MccSlotTest, AHungUpChannelCutsItsPathsAndIsReportedDeactivated) {
  CreateMcc(5, LGCP::MccType::data);
  const int channel = ChannelOf(5);
  CreateTrunk(7, 0, 4);
  Connect(5, 7);
  Connect(7, 5);
  ASSERT_EQ(Switch().OutputOf(4), (TdmSwitch::Output{Carries::source, channel}));
  ASSERT_EQ(Switch().OutputOf(channel), (TdmSwitch::Output{Carries::source, 4}));
  Received();
  mcc_->HangUpAll();
  ctrlsrv_test::Pump();
  ctrlsrv_test::Pump();
  const std::string line = "mcc: 05:MCC device hang-up: POLLHUP\n";
  const std::string errors = ErrorText();
  ASSERT_NE(errors.find(line), std::string::npos) << errors;
  EXPECT_EQ(errors.find(line, errors.find(line) + 1), std::string::npos) << errors;
  EXPECT_TRUE(mcc_->Channels().empty());
  EXPECT_EQ(Received(), Lines{"5 deactivated : networkError"});
  EXPECT_NE(Switch().OutputOf(4).carries, Carries::source);
  EXPECT_NE(Switch().OutputOf(channel).carries, Carries::source);
  EXPECT_EQ(SendUserData(5, {0x01}), Lines{"5 error unsupported"});

  // The next slot is given the freed channel; the lost one leaves its paths alone.
  CreateMcc(6, LGCP::MccType::data);
  ASSERT_EQ(ChannelOf(6), channel);
  Connect(7, 6);
  EXPECT_EQ(Destroy(5), Lines{"5 success"});
  EXPECT_EQ(Switch().OutputOf(channel), (TdmSwitch::Output{Carries::source, 4}));
  EXPECT_EQ(SendUserData(6, {0x03}), Lines{"6 success"});
  EXPECT_EQ(mcc_->TakeTransmitted(channel), (std::vector<Bytes>{{0x03}}));
}

TEST_F(MccSlotTest, ControllerLossFreesEveryChannel) {
  CreateMcc(5, LGCP::MccType::data);
  CreateMcc(6, LGCP::MccType::bri);
  ASSERT_EQ(mcc_->Channels().size(), 2u);
  DropController();
  EXPECT_EQ(SlotAt(5), nullptr);
  EXPECT_EQ(SlotAt(6), nullptr);
  EXPECT_TRUE(mcc_->Channels().empty());
}

}  // namespace
