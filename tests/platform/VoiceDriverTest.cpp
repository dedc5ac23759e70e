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
  const struct {
    unsigned long mask;
    int channels;
  } kCases[] = {{4, 8}, {2, 0}, {65, 0}};
  for (const auto& c : kCases) {
    EXPECT_EQ(platform::IoctlValue(fd, kCodecChannels, c.mask), c.channels) << c.mask;
  }
  EXPECT_EQ(platform::Close(fd), 0);
}

}  // namespace
}  // namespace sim
