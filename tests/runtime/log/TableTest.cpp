#include "runtime/log/Table.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

TEST(ExtTable, CellsAreCentredWithExtraBlankOnTheRight) {
  const struct {
    const char* name;
    int width;
    const char* text;
    const char* out;
  } kCases[] = {
      {"even slack", 6, "ab", "|  ab  ||\n"}, {"odd slack", 5, "ab", "| ab  ||\n"},
      {"exact fit", 2, "ab", "|ab||\n"},      {"overflow written whole", 3, "abcdefg", "|abcdefg||\n"},
      {"empty text", 3, "", "|   ||\n"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    // The second column of width 0 ends the row after the cell under test.
    ext::Table table(c.width, 0);
    std::ostringstream os;
    table.row(os, c.text);
    table.row(os, "");
    EXPECT_EQ(os.str(), c.out);
  }
}

}  // namespace
