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
    std::list<INet4::Addr> found;
    EXPECT_EQ(Net::ifconfig(found, c.mode), static_cast<int>(c.addresses.size()));
    std::vector<std::string> addresses;
    for (const INet4::Addr& address : found) {
      addresses.push_back(address.GetString());
    }
    EXPECT_EQ(addresses, c.addresses);
  }
}

TEST_F(NetIfconfig, NamesFilteredByFlags) {
  std::list<std::string> names;
  EXPECT_EQ(Net::ifconfig(names, 0, IFF_LOOPBACK), 1);
  EXPECT_EQ(names, std::list<std::string>{"lo"});
  names.clear();
  EXPECT_EQ(Net::ifconfig(names, Net::kNotLoopback, IFF_RUNNING), 1);
  EXPECT_EQ(names, std::list<std::string>{"eth0"});
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
      {name, getpid(), getpid()},      {name, 0, getpid()},    {"t)", getpid(), -1},
      {"no-such-process-name", 0, -1}, {name, 0x7ffffff0, -1},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(find_proc_by_name(c.name, c.pid), c.expected);
  }
}

}  // namespace
