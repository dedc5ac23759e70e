#include "slots/VoiceFactory.h"

#include "platform/sim/Board.h"
#include "platform/sim/MccDriver.h"
#include "slots/VoiceSlots.h"
#include "tests/slots/SlotsHarness.h"
#include "tests/support/BoardRoot.h"
#include "tests/support/ControlLoop.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;
using Bytes = std::vector<uint8_t>;

constexpr unsigned kTrunk = 1;
constexpr unsigned kVoice = 7;

// A listening socket whose accept never waits.
Fd Listener() {
  Fd listener = control_test::BoundSocket(true);
  fcntl(listener.get(), F_SETFL, O_NONBLOCK);
  return listener;
}

bool Contains(const Lines& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

class VoiceSlotsTest : public SlotsTest {
 protected:
  void SetUp() override {
    SlotsTest::SetUp();
    mcc_ = sim::Board::instance().Find<sim::MccDriver>(sim::MccDriver::kPath);
    ASSERT_NE(mcc_, nullptr);
    (void)VoiceFactory::instance();
    ASSERT_EQ(CreateTrunk(kTrunk, 1, 5).front(), "1 success");
  }

  Lines CreatePlayer(const std::vector<std::string>& names, int repeat) {
    return Send(kVoice, [&](LGCP::Command& command) {
      LGCP::PlayerParams_file& file = command.select_create().select_voice().select_player().select_file();
      for (const std::string& name : names) {
        file.get_name().push_back(ASN1::IA5String(name));
      }
      file.set_repeat(repeat);
    });
  }
  Lines CreateNetwork(bool recorder, uint16_t port) {
    return Send(kVoice, [&](LGCP::Command& command) {
      LGCP::VoiceParams& voice = command.select_create().select_voice();
      TERM::HostAddress& host = recorder ? voice.select_record() : voice.select_player().select_network().get_host();
      host.set_iaddr("127.0.0.1");
      host.set_port(port);
      if (!recorder) {
        voice.get_player().get_network().set_id(0x01020304);
      }
    });
  }
  int Channel() { return SlotAt(kVoice)->IGetTransmitChannel(); }
  // Everything the player wrote on its channel so far.
  std::string Played() {
    for (const Bytes& chunk : mcc_->TakeTransmitted(Channel())) {
      played_.append(chunk.begin(), chunk.end());
    }
    return played_;
  }
  // Signals that came back, kept for later looks; a command's own lines are kept too.
  const Lines& Signals() { return Signals(Received()); }
  const Lines& Signals(const Lines& more) {
    signals_.insert(signals_.end(), more.begin(), more.end());
    return signals_;
  }

  TempBoardRoot root_;
  sim::MccDriver* mcc_ = nullptr;
  std::string played_;
  Lines signals_;
};

TEST_F(VoiceSlotsTest, FilePlayerPlaysItsListRepeatTimesAndSkipsWhatDoesNotOpen) {
  root_.Write("/usr/local/voice/a", "AAAA");
  root_.Write("/usr/local/voice/b", "BB");
  root_.Write("/usr/local/voice/ru/c", "C");
  root_.Write("/usr/local/etc/secret", "SECRET");
  // Sub-folders play, and a name with a leading "/" names the voice folder's
  // file; names that would leave the folder, and names of folders, are skipped
  // like missing files.
  ASSERT_EQ(CreatePlayer({"a", "../etc/secret", "ru/c", "missing", "/usr/local/etc/secret", "ru/../../etc/secret", "..",
                          ".", "ru", "ru/", "/b"},
                         2),
            Lines{"7 success"});
  const std::optional<sim::MccDriver::Channel> channel = mcc_->ChannelOf(Channel());
  ASSERT_TRUE(channel.has_value());
  EXPECT_EQ(channel->type, sim::MccDriver::kTransparent);
  EXPECT_EQ(channel->tx_threshold, 5u);
  EXPECT_EQ(channel->open_flags & O_ACCMODE, O_WRONLY);

  EXPECT_TRUE(Contains(Signals(Connect(kVoice, kTrunk)), "7 success"));
  EXPECT_TRUE(control_test::RunWithin([&] { return Contains(Signals(), "7 abort : 0"); }));
  EXPECT_EQ(Played(), "AAAACBBAAAACBB");
  EXPECT_EQ(std::count(signals_.begin(), signals_.end(), "7 abort : 0"), 1);
  EXPECT_EQ(Destroy(kVoice), Lines{"7 success"});
}

TEST_F(VoiceSlotsTest, FilePlayerWithRepeatZeroPlaysUntilDestroyed) {
  root_.Write("/usr/local/voice/a", "xy");
  CreatePlayer({"a"}, 0);
  Connect(kVoice, kTrunk);
  EXPECT_TRUE(control_test::RunWithin([&] { return Played().size() >= 8; }));
  EXPECT_FALSE(Contains(Signals(), "7 abort : 0"));
  EXPECT_EQ(Destroy(kVoice), Lines{"7 success"});
}

TEST_F(VoiceSlotsTest, FilePlayerWithNothingToPlayRefusesItsStreamAndAbortsOnce) {
  root_.Write("/usr/local/voice/ru/c", "C");
  CreatePlayer({"missing", "../../etc/passwd", "ru"}, 1);
  // The abort comes from the loop, after the refusal, and once.
  EXPECT_EQ(Connect(kVoice, kTrunk), (Lines{"7 error connectFail", "7 abort : 0"}));
  control_test::RunPasses(5);
  EXPECT_EQ(Received(), Lines{});
}

TEST_F(VoiceSlotsTest, FactoryListsLiveSlotsByKindUntilTheyAreDestroyed) {
  const VoiceFactory& factory = VoiceFactory::instance();
  CreatePlayer({"a"}, 1);
  Fd listener = Listener();
  Send(kVoice + 1, [&](LGCP::Command& command) {
    TERM::HostAddress& host = command.select_create().select_voice().select_record();
    host.set_iaddr("127.0.0.1");
    host.set_port(control_test::LocalPort(listener.get()));
  });
  ASSERT_EQ(factory.players().size(), 1u);
  ASSERT_EQ(factory.recorders().size(), 1u);
  EXPECT_EQ(static_cast<Slot*>(factory.players().front()), SlotAt(kVoice));
  EXPECT_EQ(static_cast<Slot*>(factory.recorders().front()), SlotAt(kVoice + 1));
  Destroy(kVoice);
  EXPECT_TRUE(factory.players().empty());
  EXPECT_EQ(factory.recorders().size(), 1u);
  Destroy(kVoice + 1);
  EXPECT_TRUE(factory.recorders().empty());
}

TEST_F(VoiceSlotsTest, NetworkPlayerSendsItsIdThenPlaysWhatTheHostServes) {
  Fd listener = Listener();
  ASSERT_EQ(CreateNetwork(false, control_test::LocalPort(listener.get())), Lines{"7 success"});
  Signals(Connect(kVoice, kTrunk));
  Fd host;
  ASSERT_TRUE(control_test::RunWithin([&] {
    host = Fd(accept4(listener.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
    return static_cast<bool>(host) && Contains(Signals(), "7 ioctl : startPlaying : NULL");
  }));
  std::string id;
  ASSERT_TRUE(control_test::RunWithin([&] { return (id += control_test::ReadNow(host)).size() == 4; }));
  EXPECT_EQ(id, std::string("\x01\x02\x03\x04"));
  ASSERT_EQ(write(host.get(), "voice", 5), 5);
  ASSERT_TRUE(control_test::RunWithin([&] { return Played() == "voice"; }));
  host.close();
  EXPECT_TRUE(control_test::RunWithin([&] { return Contains(Signals(), "7 abort : 0"); }));
  EXPECT_TRUE(Contains(signals_, "7 transmitter : inactive : NULL"));
}

TEST_F(VoiceSlotsTest, NetworkPlayerThatCannotConnectAborts) {
  Fd closed = control_test::BoundSocket(false);
  CreateNetwork(false, control_test::LocalPort(closed.get()));
  Signals(Connect(kVoice, kTrunk));
  EXPECT_TRUE(control_test::RunWithin([&] { return Contains(Signals(), "7 abort : 0"); }));
}

TEST_F(VoiceSlotsTest, RecorderReportsWhyEachRecordingStoppedAndRecordsAgainOnANewSource) {
  Fd listener = Listener();
  const uint16_t port = control_test::LocalPort(listener.get());
  ASSERT_EQ(Signals(CreateNetwork(true, port)).front(), "7 success");
  const int channel = SlotAt(kVoice)->IGetReceiveChannel();
  EXPECT_TRUE(Contains(Signals(), "7 receiver : active : " + std::to_string(channel)));

  Signals(Connect(kTrunk, kVoice));
  Fd host;
  ASSERT_TRUE(
      control_test::RunWithin([&] { return static_cast<bool>(host = Fd(accept(listener.get(), nullptr, nullptr))); }));
  fcntl(host.get(), F_SETFL, O_NONBLOCK);
  control_test::RunPasses(5);
  ASSERT_TRUE(mcc_->Receive(channel, Bytes{'r', 'e', 'c'}));
  std::string recorded;
  ASSERT_TRUE(control_test::RunWithin([&] { return (recorded += control_test::ReadNow(host)) == "rec"; }));
  // The host goes away while the channel still sends.
  control_test::CloseWithReset(host);
  ASSERT_TRUE(mcc_->Receive(channel, Bytes{'x'}));
  EXPECT_TRUE(
      control_test::RunWithin([&] { return Contains(Signals(), "7 ioctl : stopRecording : connectionAborted"); }));

  // A new source records again; a host that refuses is a failed connection.
  listener.close();
  Signals(Disconnect(kVoice));
  Signals(Connect(kTrunk, kVoice));
  EXPECT_TRUE(control_test::RunWithin([&] { return Contains(Signals(), "7 ioctl : stopRecording : connectionFail"); }));
  EXPECT_NE(SlotAt(kVoice), nullptr);
  EXPECT_EQ(Destroy(kVoice), Lines{"7 success"});
  EXPECT_TRUE(mcc_->Channels().empty());
}

}  // namespace
