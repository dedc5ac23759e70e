#include "runtime/clock/Measure.h"

#include "platform/Clock.h"
#include "runtime/clock/Profile.h"
#include "runtime/log/Trace.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

class ClockedTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::clock_control::Freeze(timeval{100, 0}); }
  void TearDown() override { platform::clock_control::Release(); }

  // Records one sample of ms milliseconds.
  template <class Timed>
  void Sample(Timed& timed, uint64_t ms) {
    timed.begin();
    platform::clock_control::Advance(ms);
    timed.end();
  }
};

using MeasureStatistic = ClockedTest;

TEST_F(MeasureStatistic, ElapsedSurvivesMicrosecondWrap) {
  // 2^32 us is 4294.967296 s; begin just before the wrap.
  platform::clock_control::Freeze(timeval{4294, 967000});
  Measure measure;
  measure.begin();
  platform::clock_control::Advance(1);
  EXPECT_EQ(measure.end(), 1000u);
}

using ProfilePoint = ClockedTest;

}  // namespace
