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

TEST(ExtTable, SeparatorLinesCompleteAnOpenRow) {
  ext::Table table(3, 5, 4);
  std::ostringstream os;
  table.row(os, "a");
  table.delimeter(os);
  table.gap(os);
  EXPECT_EQ(os.str(), "| a |     |    |\n+---+-----+----+\n|   |     |    |\n");
  ext::Table no_columns;
  std::ostringstream empty;
  no_columns.delimeter(empty);
  no_columns.row(empty, "x");
  EXPECT_EQ(empty.str(), "");
}

TEST(ExtTable, CompleteRowIgnoresCellsUntilNextRowBegins) {
  ext::Table table(1, 1);
  std::ostringstream os;
  ext::Table::Sentry sentry(os, table);
  sentry << "a" << ext::nextrow << "b" << ext::nextrow << "c" << ext::nextrow;
  sentry << ext::beginrow << "d" << ext::nextrow << 7 << ext::nextrow;
  EXPECT_EQ(os.str(), "|a|b|\n|d|7|\n");
}

TEST(ExtTable, SentryCollectsValuesAndMeasures) {
  ext::Table table(8, 40);
  std::ostringstream os;
  ext::Table::Sentry sentry(os, table);
  Measure idle;
  sentry << ext::delimeter << ext::beginrow << "fd" << 12u << ext::nextrow << idle << ext::nextrow << ext::delimeter;
  EXPECT_EQ(os.str(),
            "+--------+----------------------------------------+\n"
            "|  fd12  |      min=0 max=0 avg=0 counter=0       |\n"
            "+--------+----------------------------------------+\n");
}

}  // namespace
