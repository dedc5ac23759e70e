// Two links back to back over a lossy line, their captures read by tshark.
#include "signalling/SLC.h"

#include "tests/signalling/SlcFixture.h"
#include "tests/support/Pcap.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace slc_test;
using test_support::RunTshark;

// A link-test message (MTP3 SLTM) with a test pattern of n octets: SIO,
// routing label, H0/H1, length, pattern.
Bytes TestMessage(unsigned n) {
  const uint8_t head[] = {0x81, 0x01, 0x40, 0x00, 0x00, 0x11, static_cast<uint8_t>(n << 4)};
  Bytes message(sizeof head + n, static_cast<uint8_t>(0xA0 + n));
  std::copy(std::begin(head), std::end(head), message.begin());
  return message;
}

struct Decoded {
  unsigned fsn;
  unsigned fib;
  unsigned li;
  std::string status;  // LSSU status field, empty otherwise
  unsigned length;     // the frame, without the pseudo-header
};

std::vector<Decoded> Parse(const std::string& text) {
  std::vector<Decoded> units;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    Decoded u{};
    fields >> u.fsn >> u.fib >> u.li >> u.length;
    std::getline(fields >> std::ws, u.status);
    units.push_back(u);
  }
  return units;
}

// The kind of each unit, consecutive repeats folded: "SIO SIN FISU MSU ...".
std::string Kinds(const std::vector<Decoded>& units) {
  const char* const kStatus[] = {"SIO", "SIN", "SIE", "SIOS"};
  std::string kinds;
  std::string last;
  for (const Decoded& u : units) {
    std::string kind = u.li == 0 ? "FISU" : u.li >= 3 ? "MSU" : kStatus[std::stoul(u.status) & 3];
    if (kind != last) {
      kinds += (kinds.empty() ? "" : " ") + kind;
      last = kind;
    }
  }
  return kinds;
}

class Mtp2Capture : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test_support::HaveTshark()) {
      GTEST_SKIP() << "tshark is not installed";
    }
  }
  TempDir dir_{"mtp2"};
};

TEST_F(Mtp2Capture, TsharkReadsWellFormedUnitsInSequence) {
  BackToBack link;
  ASSERT_TRUE(link.Align());
  link.a.end.line.impairments.drop_every = 13;
  link.b.end.line.impairments.drop_every = 13;
  for (unsigned i = 0; i < 200; ++i) {
    Packet to_b = PacketOf(TestMessage(i % 16));
    link.a.slc->message(to_b);
    Packet to_a = PacketOf(TestMessage(15 - i % 16));
    link.b.slc->message(to_a);
    link.Step(1);
  }
  for (int ms = 0; ms < 1000; ++ms) {
    link.Step(1);
  }
  ASSERT_EQ(link.b.owner.messages.size(), 200u);
  ASSERT_EQ(link.a.owner.messages.size(), 200u);

  for (const auto* side : {&link.a, &link.b}) {
    const std::string path = dir_.path() + (side == &link.a ? "/a.pcap" : "/b.pcap");
    SCOPED_TRACE(path);
    ASSERT_TRUE(test_support::WritePcap(path, test_support::kLinkTypeMtp2, {1, 0, 0, 0}, side->end.sent));
    EXPECT_EQ(RunTshark({"-r", path, "-Y", "_ws.malformed || _ws.expert.severity >= 6291456"}), "");
    const auto fields = RunTshark({"-r", path, "-T", "fields", "-e", "mtp2.fsn", "-e", "mtp2.fib", "-e", "mtp2.li",
                                   "-e", "frame.len", "-e", "mtp2.sf"});
    ASSERT_TRUE(fields.has_value());
    const std::vector<Decoded> units = Parse(*fields);
    ASSERT_EQ(units.size(), side->end.sent.size());
    EXPECT_EQ(Kinds(units).substr(0, 16), "SIO SIN FISU MSU");

    const Decoded* previous = nullptr;
    for (const Decoded& u : units) {
      if (u.li < 3) {
        continue;
      }
      EXPECT_EQ(u.li, std::min(u.length - 3, 63u));
      // The line's fill repeats a unit as it was; a retransmission flips the FIB.
      const bool repeat = previous != nullptr && previous->fsn == u.fsn && previous->fib == u.fib;
      if (previous != nullptr && !repeat && previous->fib == u.fib) {
        EXPECT_EQ(u.fsn, (previous->fsn + 1) % 128);
      }
      previous = &u;
    }
  }
}

}  // namespace
