#include "runtime/config/Version.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace {

TEST(Version, NamesEveryBuildType) {
  const struct {
    int type;
    const char* text;
    const char* suffix;
  } kCases[] = {
      {0, "snapshot", "S"},  {1, "test", "T"},    {2, "release", "R"},
      {3, "unit-test", "T"}, {7, "unknown", "U"}, {-1, "unknown", "U"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.type);
    const auto type = static_cast<Version::Type>(c.type);
    EXPECT_STREQ(Version::version_string(type), c.text);
    EXPECT_STREQ(Version::version_suffix(type), c.suffix);
    std::ostringstream out;
    out << type;
    EXPECT_EQ(out.str(), c.text);
  }
}

TEST(Version, CurrentBuildShowsItsTagAlone) {
  std::ostringstream out;
  Version::current.put(out);
  EXPECT_EQ(out.str(), "T250124-1901");
}

}  // namespace
