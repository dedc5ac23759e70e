#include "slots/T38SoftFactory.h"

#include "platform/sim/Board.h"
#include "platform/sim/MccDriver.h"
#include "tests/slots/SlotsHarness.h"
#include "tests/support/BoardRoot.h"
#include "tests/support/ControlLoop.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

constexpr unsigned kT38 = 9;

class T38SoftSlotTest : public SlotsTest {
 protected:
  void SetUp() override {
    ReapChildren();
    root_.Install(T38_STANDIN_PATH, "/usr/local/sbin/t38");
    SlotsTest::SetUp();
    mcc_ = sim::Board::instance().Find<sim::MccDriver>(sim::MccDriver::kPath);
    (void)T38SoftFactory::instance();
  }
  void TearDown() override {
    SlotsTest::TearDown();
    unsetenv("T38_SCENARIO");
    unsetenv("T38_INSTANCES");
  }

  Lines Create(size_t extra_arguments = 0) {
    return Send(kT38, [&](LGCP::Command& command) {
      LGCP::T38Soft& t38 = command.select_create().select_t38soft();
      t38.get_dhost().set_iaddr("10.0.0.9");
      t38.get_dhost().set_port(4000);
      t38.get_shost().set_iaddr("10.0.0.1");
      t38.get_shost().set_port(5000);
      t38.set_rx_packet_size(160);
      t38.set_rx_threshold(2);
      t38.set_tx_threshold(3);
      for (size_t i = 0; i < extra_arguments; ++i) {
        t38.get_args().push_back(ASN1::IA5String("a" + std::to_string(i)));
      }
    });
  }
  // What the stand-in wrote of its start.
  std::string StartRecord() {
    std::ostringstream text;
    text << std::ifstream(root_.Path("/t38.log")).rdbuf();
    return text.str();
  }
  // A create's own lines are kept too: a child that fails at once is reported while the create is answered.
  Lines Keep(const Lines& lines) {
    signals_.insert(signals_.end(), lines.begin(), lines.end());
    return lines;
  }
  bool Signalled(const std::string& line) {
    Keep(Received());
    return std::find(signals_.begin(), signals_.end(), line) != signals_.end();
  }
  int Query() {
    const Lines lines = Send(std::nullopt, [](LGCP::Command& command) { command.select_query(); });
    const size_t at = lines.back().find("t38-instances ");
    return at == std::string::npos ? -1 : std::atoi(lines.back().c_str() + at + 14);
  }

  TempBoardRoot root_;
  sim::MccDriver* mcc_ = nullptr;
  Lines signals_;
};

TEST_F(T38SoftSlotTest, ChildRunsOnTheChannelWithTheControllersArgumentsCut) {
  const Lines created = Create(30);
  ASSERT_EQ(created.front(), "9 success");
  const int channel = SlotAt(kT38)->IGetTransmitChannel();
  EXPECT_EQ(created, (Lines{"9 success", "9 transmitter : active : " + std::to_string(channel),
                            "9 receiver : active : " + std::to_string(channel)}));
  const std::optional<sim::MccDriver::Channel> allocated = mcc_->ChannelOf(channel);
  ASSERT_TRUE(allocated.has_value());
  EXPECT_EQ(allocated->rx_packet_size, 160u);
  EXPECT_EQ(allocated->tx_threshold, 3u);

  // Descriptor 0 of the child is the channel: what the channel receives comes back from the child.
  ASSERT_TRUE(control_test::RunWithin([&] { return StartRecord().find("stdin=rw") != std::string::npos; }));
  ASSERT_TRUE(mcc_->Receive(channel, {'f', 'a', 'x'}));
  std::vector<std::vector<uint8_t>> echoed;
  ASSERT_TRUE(control_test::RunWithin([&] { return !(echoed = mcc_->TakeTransmitted(channel)).empty(); }));
  EXPECT_EQ(echoed.front(), (std::vector<uint8_t>{'f', 'a', 'x'}));

  const std::string record = StartRecord();
  EXPECT_NE(record.find("argv[0]=/usr/local/sbin/t38\nargv[1]=--child\nargv[2]=--remote\nargv[3]=10.0.0.9/4000/5000\n"
                        "argv[4]=a0\n"),
            std::string::npos)
      << record;
  EXPECT_NE(record.find("argv[30]=a26\nstdin"), std::string::npos) << record;

  // Destroyed at once while the child runs; the child goes, and with it the channel.
  EXPECT_EQ(Destroy(kT38), Lines{"9 success"});
  EXPECT_TRUE(control_test::RunWithin([&] { return mcc_->Channels().empty(); }));
}

TEST_F(T38SoftSlotTest, ChildEndReachesTheControllerAsTheRawWaitStatus) {
  const struct {
    const char* scenario;
    std::string abort;
  } kCases[] = {
      {"exit:3", "9 abort : 768"},
      {"signal:9", "9 abort : 9"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.scenario);
    setenv("T38_SCENARIO", c.scenario, 1);
    ASSERT_EQ(Keep(Create()).front(), "9 success");
    EXPECT_TRUE(control_test::RunWithin([&] { return Signalled(c.abort); }));
    // The slot stays until the controller destroys it.
    EXPECT_EQ(Destroy(kT38), Lines{"9 success"});
  }
}

TEST_F(T38SoftSlotTest, AProgramThatCannotRunEndsWithCode237) {
  ASSERT_EQ(unlink(root_.Path("/usr/local/sbin/t38").c_str()), 0);
  ASSERT_EQ(Keep(Create()).front(), "9 success");
  EXPECT_TRUE(control_test::RunWithin([&] { return Signalled("9 abort : 60672"); }));
  // The failed child left the server's streams alone: the server carries on.
  EXPECT_EQ(Destroy(kT38), Lines{"9 success"});
  EXPECT_EQ(Query(), 0);
}

TEST_F(T38SoftSlotTest, AChildDeafToSigtermIsKilledAfterFiveSeconds) {
  control_test::FrozenClock clock;
  setenv("T38_SCENARIO", "ignore-term", 1);
  Create();
  ASSERT_TRUE(control_test::RunWithin([&] { return !StartRecord().empty(); }));
  const int channel = SlotAt(kT38)->IGetTransmitChannel();
  EXPECT_EQ(Destroy(kT38), Lines{"9 success"});
  control_test::RunPasses(20);
  EXPECT_TRUE(mcc_->ChannelOf(channel).has_value());
  clock.Advance(5000);
  EXPECT_TRUE(control_test::RunWithin([&] { return mcc_->Channels().empty(); }));
}

TEST_F(T38SoftSlotTest, QueryReportsWhatTheProgramAnswers) {
  const struct {
    const char* answer;
    int instances;
  } kCases[] = {{"7", 7}, {"none", 0}, {"hang", 0}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.answer);
    setenv("T38_INSTANCES", c.answer, 1);
    EXPECT_EQ(Query(), c.instances);
  }
  // Each query is noted in the stand-in's log, as its starts are.
  const std::string record = StartRecord();
  size_t queries = 0;
  for (size_t at = 0; (at = record.find("argv[1]=--num-of-instances\n", at)) != std::string::npos; ++at) {
    ++queries;
  }
  EXPECT_EQ(queries, 3u) << record;
}

}  // namespace
