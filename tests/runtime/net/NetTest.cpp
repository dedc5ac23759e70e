#include "runtime/net/Net.h"

#include "platform/sim/Board.h"
#include "runtime/net/FindProc.h"

#include <gtest/gtest.h>

#include <net/if.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// The simulated board's interfaces: lo, 10.0.0.5 and 169.254.1.1, set through
// its control commands.
class NetIfconfig : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::Board& board = sim::Board::instance();
    board.Reset();
    for (const auto& line : {std::vector<std::string>{"netif", "set", "2", "eth0", "1", "10.0.0.5"},
                             std::vector<std::string>{"netif", "set", "3", "eth1", "0", "169.254.1.1"},
                             std::vector<std::string>{"netif", "set", "4", "hdlc0", "1"}}) {
      ASSERT_TRUE(board.Control(line).ok);
    }
  }
  void TearDown() override { sim::Board::instance().Reset(); }
};

// The addresses ifconfig selects, checking its count.
std::vector<std::string> Selected(Net::ifconfig_mode_t mode) {
  std::list<INet4::Addr> found;
  const int count = Net::ifconfig(found, mode);
  std::vector<std::string> addresses;
  for (const INet4::Addr& address : found) {
    addresses.push_back(address.GetString());
  }
  EXPECT_EQ(count, static_cast<int>(addresses.size()));
  return addresses;
}

TEST_F(NetIfconfig, ModeSelectsInterfaces) {
  const struct {
    Net::ifconfig_mode_t mode;
    std::vector<std::string> addresses;
  } kCases[] = {
      {0, {"127.0.0.1:0", "10.0.0.5:0", "169.254.1.1:0"}},
      {Net::kPrivate, {"10.0.0.5:0"}},
      {Net::kNotLoopback | Net::kLinkLocal, {"10.0.0.5:0", "169.254.1.1:0"}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.mode);
    EXPECT_EQ(Selected(c.mode), c.addresses);
  }
}

// The edges of the private and link-local ranges.
TEST_F(NetIfconfig, RangesEndWhereTheirPrefixEnds) {
  const char* const kEdges[] = {"172.15.255.255", "172.16.0.0",  "172.31.255.255",  "172.32.0.0", "192.167.255.255",
                                "192.168.0.0",    "192.169.0.0", "169.253.255.255", "169.255.0.0"};
  int index = 5;
  for (const char* address : kEdges) {
    ASSERT_TRUE(sim::Board::instance()
                    .Control({"netif", "set", std::to_string(index), "eth" + std::to_string(index), "1", address})
                    .ok);
    ++index;
  }
  const struct {
    Net::ifconfig_mode_t mode;
    std::vector<std::string> addresses;
  } kCases[] = {
      {Net::kPrivate, {"10.0.0.5:0", "172.16.0.0:0", "172.31.255.255:0", "192.168.0.0:0"}},
      {Net::kLinkLocal, {"169.254.1.1:0"}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.mode);
    EXPECT_EQ(Selected(c.mode), c.addresses);
  }
}

TEST(FindProc, MatchesCommandNamesWithClosingParenthesis) {
  // The pid in the name keeps a concurrent run of this test from matching.
  char name[16];
  snprintf(name, sizeof name, "t) (%d)", static_cast<int>(getpid() % 100000));
  ASSERT_EQ(prctl(PR_SET_NAME, name, 0, 0, 0), 0);
  const struct {
    const char* name;
    int pid;
    int expected;
  } kCases[] = {
      {name, getpid(), getpid()},
      {name, 0, getpid()},
      {"t)", getpid(), -1},
      {"no-such-process-name", 0, -1},
      // A stale first guess, gone or now another program, falls back to the search.
      {name, 0x7ffffff0, getpid()},
      {name, 1, getpid()},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(find_proc_by_name(c.name, c.pid), c.expected);
  }
}

}  // namespace
