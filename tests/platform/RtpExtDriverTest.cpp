#include "platform/sim/RtpExtDriver.h"

#include "platform/Device.h"
#include "platform/sim/Board.h"

#include <gtest/gtest.h>

#include <fcntl.h>

#include <cstdint>
#include <vector>

namespace sim {
namespace {

using Packets = std::vector<std::vector<uint8_t>>;

// Radios announce every second for as long as they live: the driver keeps the
// newest packets of all sessions together, and tells each session's own.
TEST(RtpExtDriver, KeepsTheNewestPacketsOfAllSessions) {
  Board::instance().Reset();
  auto* ext = Board::instance().Find<RtpExtDriver>("/dev/rtp_ext");
  const int first = platform::Open("/dev/rtp_ext", O_RDWR);
  const int second = platform::Open("/dev/rtp_ext", O_RDWR);
  ASSERT_GE(first, 0);
  ASSERT_GE(second, 0);
  constexpr int kRounds = 600;
  for (int i = 0; i < kRounds; ++i) {
    // The second session's packets start with 0xff.
    const uint8_t packet[3] = {0xff, static_cast<uint8_t>(i >> 8), static_cast<uint8_t>(i)};
    ASSERT_EQ(platform::Write(first, packet + 1, 2), 2);
    ASSERT_EQ(platform::Write(second, packet, 3), 3);
  }
  EXPECT_EQ(ext->WrittenCount(), 2u * kRounds);
  // The newest 1,000: rounds 100 to 599 of each.
  const Packets kept = ext->Written(0);
  ASSERT_EQ(kept.size(), 500u);
  EXPECT_EQ(kept.front(), (std::vector<uint8_t>{0, 100}));
  EXPECT_EQ(kept.back(), (std::vector<uint8_t>{2, 87}));
  ASSERT_EQ(ext->Written(1).size(), 500u);
  EXPECT_EQ(ext->Written(1).back(), (std::vector<uint8_t>{0xff, 2, 87}));

  // A session opened later starts with none of a closed one's packets.
  ASSERT_EQ(platform::Close(first), 0);
  const int third = platform::Open("/dev/rtp_ext", O_RDWR);
  ASSERT_GE(third, 0);
  EXPECT_EQ(ext->Written(0).size(), 500u) << "the second, first now";
  EXPECT_TRUE(ext->Written(1).empty());
  platform::Close(second);
  platform::Close(third);
}

}  // namespace
}  // namespace sim
