#include "tests/e2e/GatewayFixture.h"
#include "tests/support/Pcap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace e2e {
namespace {

using Fill = std::function<void(LGCP::CreateParams&)>;

Fill Ss7(int trunk) {
  return [trunk](LGCP::CreateParams& create) {
    LGCP::SS7Params& ss7 = create.select_pstn().select_ss7();
    ss7.set_trunk(trunk);
    ss7.set_slc(0);
    ss7.set_dpc(1);
    ss7.set_opc(2);
    ss7.set_emergency(true);
  };
}

void Side(LGCP::IsdnSide& side, bool network) {
  if (network) {
    side.select_network();
  } else {
    side.select_user();
  }
}

Fill PstnPri(int trunk, bool network) {
  return [=](LGCP::CreateParams& create) {
    LGCP::IsdnParams& isdn = create.select_pstn().select_isdn();
    isdn.set_type(LGCP::IsdnType::pri);
    isdn.set_trunk(trunk);
    isdn.set_log(0);
    Side(isdn.get_side(), network);
  };
}

Fill IsdnD(bool network) {
  return [=](LGCP::CreateParams& create) {
    LGCP::IsdnParams& isdn = create.select_isdn();
    isdn.set_type(LGCP::IsdnType::pri);
    isdn.set_trunk(1);
    isdn.set_log(0);
    Side(isdn.get_side(), network);
  };
}

Fill AtsQsig(bool network) {
  return [=](LGCP::CreateParams& create) {
    LGCP::AtsQsigParams& ats = create.select_ats_qsig();
    ats.set_log(0);
    Side(ats.get_side(), network);
  };
}

class SignallingLinksTest : public GatewayFixture {
 protected:
  // Sends a command and reads until its answer, keeping the signals read on the way.
  void Do(std::optional<unsigned> slot, const std::function<void(LGCP::Command&)>& fill) {
    const int seq = ++seq_;
    ASSERT_TRUE(controller_.Send(Command(seq, slot, fill)));
    for (;;) {
      LGCP::Message message;
      ASSERT_TRUE(controller_.Read(message));
      if (message.has_seq() && message.get_seq().getValue() == seq) {
        ASSERT_TRUE(message.get_pdu().is_response() && message.get_pdu().get_response().is_success())
            << message.asValueNotation();
        return;
      }
      Note(message);
    }
  }
  // Moves the server's clock on and reads up to a ping's answer, until done holds.
  void RunUntil(const std::function<bool()>& done) {
    for (int steps = 0; steps < 3000 && !done(); ++steps) {
      ASSERT_TRUE(board_.AdvanceClock(100));
      Do(std::nullopt, [](LGCP::Command& command) { command.select_ping(); });
    }
    ASSERT_TRUE(done());
  }
  void Note(const LGCP::Message& message) {
    if (!message.get_pdu().is_signal() || !message.has_slot()) {
      return;
    }
    const LGCP::Signal& signal = message.get_pdu().get_signal();
    const unsigned slot = static_cast<unsigned>(message.get_slot().getValue());
    if (signal.is_activated()) {
      ++activated_[slot];
    } else if (signal.is_deactivated()) {
      ++deactivated_;
    } else if (signal.is_userData()) {
      const ASN1::OCTET_STRING& bytes = signal.get_userData();
      if (bytes.size() == 3 && static_cast<uint8_t>(bytes[0]) == 0x83) {
        user_data_[slot].insert(static_cast<uint8_t>(bytes[1]));
      }
    }
  }

  // Puts the slots on timeslots of trunks 0 and 1 and joins the two line
  // endpoints by a cable.
  void JoinOnTrunks(unsigned a, unsigned b, unsigned trunk_a, unsigned trunk_b, int timeslot) {
    Do(trunk_a,
       [&](LGCP::Command& command) { command = CreateTrunk(0, trunk_a, 0, timeslot).get_pdu().get_command(); });
    Do(trunk_b,
       [&](LGCP::Command& command) { command = CreateTrunk(0, trunk_b, 1, timeslot).get_pdu().get_command(); });
    ASSERT_EQ(board_.Ask("/dev/mcc/ctl cable " + std::to_string(timeslot) + " " + std::to_string(32 + timeslot)), "ok");
    for (const auto& [source, listener] : {std::pair{trunk_a, a}, {a, trunk_a}, {trunk_b, b}, {b, trunk_b}}) {
      Do(source, [&](LGCP::Command& command) { command.select_connect() = listener; });
    }
  }

  int seq_ = 0;
  std::map<unsigned, int> activated_;
  // The numbers of the messages each slot passed up.
  std::map<unsigned, std::set<int>> user_data_;
  int deactivated_ = 0;
};

// Two links through one server, over a cable that drops frames both ways:
// both come up, and 100 messages each way arrive as userData.
TEST_F(SignallingLinksTest, BackToBackThroughOneServer) {
  const struct {
    const char* name;
    Fill a;
    Fill b;
    bool on_trunks;
    bool pstn;
  } kCases[] = {
      {"ss7", Ss7(1), Ss7(2), true, true},
      {"pstn pri", PstnPri(1, false), PstnPri(2, true), true, true},
      {"isdn", IsdnD(false), IsdnD(true), true, false},
      {"ats-qsig", AtsQsig(false), AtsQsig(true), false, false},
  };
  unsigned base = 10;
  int timeslot = 16;
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const unsigned a = base++;
    const unsigned b = base++;
    Do(a, [&](LGCP::Command& command) { c.a(command.select_create()); });
    Do(b, [&](LGCP::Command& command) { c.b(command.select_create()); });
    if (c.on_trunks) {
      const unsigned trunk_a = base++;
      const unsigned trunk_b = base++;
      JoinOnTrunks(a, b, trunk_a, trunk_b, timeslot);
      ASSERT_EQ(board_.Ask("/dev/mcc/ctl impair " + std::to_string(timeslot) + " 13 0 through"), "ok");
      ASSERT_EQ(board_.Ask("/dev/mcc/ctl impair " + std::to_string(32 + timeslot) + " 17 0 through"), "ok");
      ++timeslot;
    } else {
      // The first two DSP data channels of the board.
      ASSERT_EQ(board_.Ask("/dev/dsp-data cable 576 577"), "ok");
      ASSERT_EQ(board_.Ask("/dev/dsp-data impair 576 13 0 through"), "ok");
      ASSERT_EQ(board_.Ask("/dev/dsp-data impair 577 17 0 through"), "ok");
    }
    // A PSTN slot starts its link on the connect; a D-channel slot's user side
    // is started by the controller and the network side follows.
    if (!c.pstn) {
      Do(a, [](LGCP::Command& command) { command.select_activate().select_empty(); });
    }
    RunUntil([&] { return activated_[a] > 0 && activated_[b] > 0; });
    // Both ends of a PSTN PRI link establish at once: let that settle first.
    int settle = 0;
    RunUntil([&] { return ++settle > 30; });
    for (uint8_t i = 0; i < 100; ++i) {
      for (const auto& [slot, tag] : {std::pair{a, '\xa0'}, {b, '\xb0'}}) {
        const std::vector<char> bytes{'\x83', static_cast<char>(i), tag};
        Do(slot, [&](LGCP::Command& command) { command.select_userData().assign(bytes.begin(), bytes.end()); });
      }
      ASSERT_TRUE(board_.AdvanceClock(50));
    }
    // The simulated channel does not fill the line with FISUs, which would
    // reveal a lost last MSU: later traffic does the same.
    for (int more = 0; more < 20 && (user_data_[a].size() < 100 || user_data_[b].size() < 100); ++more) {
      for (unsigned slot : {a, b}) {
        Do(slot, [](LGCP::Command& command) { command.select_userData().assign(1, '\x84'); });
      }
      int steps = 0;
      RunUntil([&] { return ++steps > 20; });
    }
    EXPECT_EQ(user_data_[a].size(), 100u);
    EXPECT_EQ(user_data_[b].size(), 100u);
    EXPECT_EQ(deactivated_, 0);
    for (unsigned slot = a; slot < base; ++slot) {
      Do(slot, [](LGCP::Command& command) { command.select_destroy(); });
    }
    deactivated_ = 0;
  }
}

// A tap on the line of an SS7 link taken through the running server: tshark
// reads the MTP2 units both ways, the messages among them, none malformed.
TEST_F(SignallingLinksTest, TapReadByTshark) {
  if (!test_support::HaveTshark()) {
    GTEST_SKIP() << "tshark is not installed";
  }
  Do(10, [](LGCP::Command& command) { Ss7(1)(command.select_create()); });
  Do(11, [](LGCP::Command& command) { Ss7(2)(command.select_create()); });
  ASSERT_EQ(board_.Ask("/dev/mcc/ctl tap 16 ss7.pcap mtp2"), "ok");
  JoinOnTrunks(10, 11, 12, 13, 16);
  RunUntil([&] { return activated_[10] > 0 && activated_[11] > 0; });
  for (uint8_t i = 0; i < 5; ++i) {
    for (unsigned slot : {10u, 11u}) {
      const std::vector<char> bytes{'\x83', static_cast<char>(i), 0};
      Do(slot, [&](LGCP::Command& command) { command.select_userData().assign(bytes.begin(), bytes.end()); });
    }
  }
  RunUntil([&] { return user_data_[10].size() == 5 && user_data_[11].size() == 5; });
  ASSERT_EQ(board_.Ask("/dev/mcc/ctl untap 16"), "ok");
  // What slot 10 sent on its line, as the far side of the line sees it.
  EXPECT_NE(board_.Ask("/dev/mcc/ctl line-tx 16"), "ok");

  const std::string path = server_.Path("/ss7.pcap");
  // The payloads are made up: MTP3 is left undecoded.
  EXPECT_EQ(test_support::RunTshark(
                {"-r", path, "--disable-protocol", "mtp3", "-Y", "_ws.malformed || _ws.expert.severity >= 6291456"}),
            "");
  const auto messages = test_support::RunTshark({"-r", path, "-Y", "mtp2.li > 2", "-T", "fields", "-e", "mtp2.li"});
  ASSERT_TRUE(messages.has_value());
  EXPECT_GE(std::count(messages->begin(), messages->end(), '\n'), 10);
}

}  // namespace
}  // namespace e2e
