#include "monitoring/NetIfDataHolder.h"

#include "BoardRootFixture.h"

#include <sys/ioctl.h>

#include <cerrno>
#include <vector>

namespace {

TEST(NetIfDataHolder, DebouncesSamples) {
  // -1 in a sequence is a sample that failed: it adds nothing.
  const struct {
    const char* name;
    std::vector<int> samples;
    std::vector<bool> changed;
    std::vector<int> link_up;
  } kCases[] = {
      {"running from the start", {1, 1, 1}, {true, true, false}, {0, 1, 1}},
      {"down from the start", {0, 0}, {true, false}, {0, 0}},
      {"flapping", {1, 1, 0, 1, 0, 0}, {true, true, false, false, true, false}, {0, 1, 1, 1, 0, 0}},
      {"one stop in three", {0, 1, 1, 0, 1, 1}, {true, false, true, false, false, false}, {0, 0, 1, 1, 1, 1}},
      {"failures add no sample", {1, -1, 1, -1, 0, 0}, {true, false, true, false, false, true}, {0, 0, 1, 1, 1, 0}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    NetIfDataHolder link(2, "eth0");
    for (size_t i = 0; i < c.samples.size(); ++i) {
      SCOPED_TRACE(i);
      const bool changed = c.samples[i] < 0 ? false : link.setNetIfStatus(c.samples[i]);
      EXPECT_EQ(changed, c.changed[i]);
      EXPECT_EQ(link.linkUp, c.link_up[i]);
      EXPECT_EQ(link.operStatus, c.link_up[i] == 1 ? 1 : 2);
      EXPECT_EQ(link.adminStatus, link.operStatus);
      EXPECT_LE(link.samples.size(), 3u);
    }
  }
}

using NetIfDataHolderOnBoard = BoardRootFixture;

TEST_F(NetIfDataHolderOnBoard, SamplesRunningFlag) {
  NetIfDataHolder link(2, "eth0");
  EXPECT_TRUE(link.updateNetIf());  // first sample: down
  EXPECT_TRUE(link.updateNetIf());  // two running samples: up
  // Failing requests add no sample, so one stopped sample keeps the link up.
  Interfaces().FailNextRequest(SIOCGIFFLAGS, 1, EIO);
  Interfaces().FailNextRequest(SIOCGIFNAME, 1, ENODEV);
  Interfaces().FailNext(sim::Call::kOpen, 1, EMFILE);
  EXPECT_FALSE(link.updateNetIf());
  EXPECT_FALSE(link.updateNetIf());
  EXPECT_FALSE(link.updateNetIf());
  EXPECT_EQ(link.samples.size(), 2u);
  Interfaces().Set(2, sim::NetInterfacesDriver::Interface{"eth0", false, 0xC0A8000A});
  EXPECT_FALSE(link.updateNetIf());
  EXPECT_EQ(link.linkUp, 1);
  EXPECT_TRUE(link.updateNetIf());
  EXPECT_EQ(link.linkUp, 0);
  EXPECT_EQ(link.operStatus, 2);
  // An interface gone since start is a failed sample.
  Interfaces().Set(2, sim::NetInterfacesDriver::Interface{});
  EXPECT_FALSE(link.updateNetIf());
  EXPECT_EQ(link.samples.size(), 3u);
}

}  // namespace
