#include "platform/sim/RtpExtDriver.h"

#include "platform/Device.h"
#include "platform/sim/Board.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>

#include <cerrno>
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

// The source request describes the packet the next read returns, so a packet
// that arrives between a request that found none and the read must wait for
// the next request: read then, it would come without its sender.
TEST(RtpExtDriver, PacketQueuedAfterAnEmptySourceRequestWaitsForTheNext) {
  constexpr unsigned long kSourceRequest = 0xc00c4503;
  Board::instance().Reset();
  auto* ext = Board::instance().Find<RtpExtDriver>("/dev/rtp_ext");
  const int fd = platform::Open("/dev/rtp_ext", O_RDWR | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  uint8_t source[12] = {};
  uint8_t packet[16] = {};
  errno = 0;
  EXPECT_EQ(platform::Ioctl(fd, kSourceRequest, source), -1);
  EXPECT_EQ(errno, EAGAIN);
  ASSERT_EQ(ext->Inject(0, RtpExtDriver::Source{9, htonl(0x0a000007)}, {1, 2, 3}), 1u);
  errno = 0;
  EXPECT_EQ(platform::Read(fd, packet, sizeof packet), -1);
  EXPECT_EQ(errno, EAGAIN);

  ASSERT_EQ(platform::Ioctl(fd, kSourceRequest, source), 0);
  // ssrc 9 and 10.0.0.7, big-endian, then a word the driver leaves 0.
  EXPECT_EQ(std::vector<uint8_t>(source, source + 12), (std::vector<uint8_t>{0, 0, 0, 9, 10, 0, 0, 7, 0, 0, 0, 0}));
  EXPECT_EQ(platform::Read(fd, packet, sizeof packet), 3);
  EXPECT_EQ(std::vector<uint8_t>(packet, packet + 3), (std::vector<uint8_t>{1, 2, 3}));
  platform::Close(fd);
}

}  // namespace
}  // namespace sim
