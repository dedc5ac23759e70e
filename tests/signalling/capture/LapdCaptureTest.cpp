// A user side and the network side of a PRI link back to back over a lossy
// cable, each side's frames read by tshark.
#include "signalling/LAPD.h"

#include "tests/signalling/LapdBackToBack.h"
#include "tests/support/Pcap.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace lapd_test;
using test_support::RunTshark;

struct Decoded {
  std::string kind;  // "I", "S" or "U"
  unsigned cr = 0;
  std::string u_command;   // SABME, DISC: the U code when read as a command
  std::string u_response;  // UA, DM: when read as a response
  int ns = -1;
  int q931_type = -1;
};

std::vector<Decoded> Parse(const std::string& text) {
  std::vector<Decoded> frames;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> f;
    std::istringstream fields(line);
    for (std::string field; std::getline(fields, field, '\t');) {
      f.push_back(field);
    }
    f.resize(6);
    Decoded d;
    d.cr = f[0].empty() ? 0 : std::stoul(f[0], nullptr, 0);
    d.u_command = f[1];
    d.u_response = f[2];
    d.ns = f[3].empty() ? -1 : std::stoi(f[3], nullptr, 0);
    d.q931_type = f[4].empty() ? -1 : std::stoi(f[4], nullptr, 0);
    d.kind = d.ns >= 0 ? "I" : !d.u_command.empty() || !d.u_response.empty() ? "U" : "S";
    frames.push_back(d);
  }
  return frames;
}

class LapdCapture : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test_support::HaveTshark()) {
      GTEST_SKIP() << "tshark is not installed";
    }
  }
  TempDir dir_{"lapd"};
};

TEST_F(LapdCapture, TsharkReadsWellFormedFramesInSequence) {
  BackToBack b;
  b.user.end.line.impairments.drop_every = 11;
  b.network.end.line.impairments.drop_every = 11;
  b.user.link->local_activate();
  ASSERT_TRUE(b.StepUntil([&] { return b.BothUp(); }, 10000));
  ASSERT_TRUE(b.Exchange(300, 600000));
  b.user.link->local_deactivate();
  b.Step(10);

  const struct {
    const char* name;
    Side* side;
    unsigned command_cr;
    int q931_type;
  } kSides[] = {{"user", &b.user, 0, 0x05}, {"network", &b.network, 1, 0x07}};
  for (const auto& s : kSides) {
    SCOPED_TRACE(s.name);
    const std::string path = dir_.path() + "/" + s.name + ".pcap";
    // LINUX_LAPD pseudo-header: sent by us, ARPHRD_LAPD, one address octet
    // naming our side (0 user, 1 network), protocol ETH_P_LAPD.
    const Bytes pseudo = {0, 4, 0x20, 0xFD, 0, 1, static_cast<uint8_t>(s.command_cr), 0, 0, 0, 0, 0, 0, 0, 0, 0x30};
    ASSERT_TRUE(test_support::WritePcap(path, test_support::kLinkTypeLinuxLapd, pseudo, s.side->end.sent));
    EXPECT_EQ(RunTshark({"-r", path, "-Y", "_ws.malformed || _ws.expert.severity >= 8388608"}), "");
    const auto fields =
        RunTshark({"-r", path, "-T", "fields", "-e", "lapd.cr", "-e", "lapd.control.u_modifier_cmd", "-e",
                   "lapd.control.u_modifier_resp", "-e", "lapd.control.n_s", "-e", "q931.message_type"});
    ASSERT_TRUE(fields.has_value());
    const std::vector<Decoded> frames = Parse(*fields);
    ASSERT_EQ(frames.size(), s.side->end.sent.size());

    int previous_ns = -1;
    unsigned i_frames = 0;
    unsigned u_frames = 0;
    for (const Decoded& d : frames) {
      if (d.kind == "U") {
        ++u_frames;
        // SABME (0x1b) and DISC (0x10) go as commands, UA and DM as responses.
        const std::string code = d.u_command + d.u_response;
        const bool command = code == "0x1b" || code == "0x10";
        EXPECT_EQ(d.cr, command ? s.command_cr : 1 - s.command_cr) << code;
        EXPECT_EQ(d.u_command.empty(), !command) << code;
        continue;
      }
      if (d.kind != "I") {
        continue;
      }
      ++i_frames;
      EXPECT_EQ(d.cr, s.command_cr);
      EXPECT_EQ(d.q931_type, s.q931_type);
      // Forward one at a time; backward only to resend within the window.
      if (previous_ns >= 0 && d.ns != (previous_ns + 1) % 128) {
        EXPECT_LT((previous_ns - d.ns + 128) % 128, 7) << "N(S) " << previous_ns << " then " << d.ns;
      }
      previous_ns = d.ns;
    }
    EXPECT_GE(i_frames, 300u);
    EXPECT_GE(u_frames, 1u);
  }
}

}  // namespace
