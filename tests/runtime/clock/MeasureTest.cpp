#include "runtime/clock/Measure.h"

#include "platform/Clock.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

// 2^32 us is 4294.967296 s; begin just before the wrap.
TEST(MeasureStatistic, ElapsedSurvivesMicrosecondWrap) {
  platform::clock_control::Freeze(timeval{4294, 967000});
  Measure measure;
  measure.begin();
  platform::clock_control::Advance(1);
  EXPECT_EQ(measure.end(), 1000u);
  platform::clock_control::Release();
}

TEST(MeasureStatistic, RestartEndsOneSampleAndBeginsTheNext) {
  platform::clock_control::Freeze(timeval{100, 0});
  Measure measure;
  measure.begin();
  platform::clock_control::Advance(2);
  EXPECT_EQ(measure.restart(), 2000u);
  platform::clock_control::Advance(3);
  EXPECT_EQ(measure.end(), 3000u);
  std::ostringstream text;
  measure.put(text);
  EXPECT_EQ(text.str(), "min=2000 max=3000 avg=3000 counter=2");
  platform::clock_control::Release();
}

}  // namespace
