#include "platform/sim/VoiceDriver.h"

#include "platform/Device.h"
#include "platform/sim/Board.h"

#include <gtest/gtest.h>

#include <fcntl.h>

#include <cstdint>

namespace sim {
namespace {

constexpr unsigned long kCodecChannels = 0x40045602;

TEST(VoiceDriver, AnswersTheChannelsOfEachCodecMask) {
  Board::instance().Reset();
  Board::instance().Find<VoiceDriver>(VoiceDriver::kPath)->SetCodecChannels(4, 8);
  const int fd = platform::Open("/dev/voice", O_RDONLY);
  ASSERT_GE(fd, 0);
  // Unset RTP codecs answer the RTP device's whole pool, which takes any of them.
  const struct {
    unsigned long mask;
    int channels;
  } kCases[] = {{4, 8}, {1, 1024}, {2, 1024}, {8, 1024}, {65, 1024}, {16, 0}};
  for (const auto& c : kCases) {
    EXPECT_EQ(platform::IoctlValue(fd, kCodecChannels, c.mask), c.channels) << c.mask;
  }
  EXPECT_EQ(platform::Close(fd), 0);
}

}  // namespace
}  // namespace sim
