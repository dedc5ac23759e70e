#include "runtime/clock/Measure.h"

#include "platform/Clock.h"

#include <gtest/gtest.h>

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

}  // namespace
