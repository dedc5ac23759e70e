#include "runtime/net/Net.h"

#include "runtime/net/FindProc.h"

#include <gtest/gtest.h>

#include <net/if.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace {

bool HasLoopbackAddress(const std::list<INet4::Addr>& addresses) {
  return std::any_of(addresses.begin(), addresses.end(),
                     [](const INet4::Addr& a) { return a.GetString() == "127.0.0.1:0"; });
}

TEST(NetIfconfig, ModeSelectsInterfaces) {
  std::list<INet4::Addr> all;
  int count = Net::ifconfig(all, 0);
  ASSERT_GE(count, 1);
  EXPECT_EQ(static_cast<size_t>(count), all.size());
  EXPECT_TRUE(HasLoopbackAddress(all));

  std::list<INet4::Addr> not_loopback;
  ASSERT_GE(Net::ifconfig(not_loopback, Net::kNotLoopback), 0);
  EXPECT_FALSE(HasLoopbackAddress(not_loopback));
  EXPECT_EQ(not_loopback.size() + 1, all.size());

  std::list<INet4::Addr> special;
  ASSERT_GE(Net::ifconfig(special, Net::kLinkLocal | Net::kPrivate), 0);
  EXPECT_FALSE(HasLoopbackAddress(special));
}

TEST(NetIfconfig, NamesFilteredByFlags) {
  std::list<std::string> names;
  ASSERT_GE(Net::ifconfig(names, 0, IFF_LOOPBACK), 1);
  EXPECT_NE(std::find(names.begin(), names.end(), "lo"), names.end());
  names.clear();
  ASSERT_GE(Net::ifconfig(names, Net::kNotLoopback, IFF_LOOPBACK), 0);
  EXPECT_EQ(std::find(names.begin(), names.end(), "lo"), names.end());
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
