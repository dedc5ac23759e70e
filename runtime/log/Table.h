#pragma once

#include "runtime/clock/Measure.h"

#include <ostream>
#include <sstream>
#include <string>
#include <vector>

namespace ext {

// A text table of fixed-width columns with centred cells:
//   +---+--+
//   | a |b |
// A row takes one cell per column; further cells are ignored until the next
// row is begun with resetrow().
class Table {
 public:
  class Sentry;

  Table() = default;
  template <class... Widths>
  explicit Table(Widths... widths) {
    static_assert(sizeof...(Widths) <= 7, "at most seven columns at construction");
    (add(widths), ...);
  }

  void add(int width) { widths_.push_back(width); }
  void init() { resetrow(); }
  void resetrow();
  // Writes one cell; a text wider than its column is written whole.
  void row(std::ostream& os, const std::string& text);
  // Completes a row in progress with blank cells.
  void finalize(std::ostream& os);
  void delimeter(std::ostream& os);
  void gap(std::ostream& os);

 private:
  void Line(std::ostream& os, char corner, char fill);

  std::vector<int> widths_;
  unsigned column_ = 0;
  bool in_row_ = false;
};

// Collects the text of the current cell of a table written to one stream.
class Table::Sentry {
 public:
  Sentry(std::ostream& os, Table& table) : os_(os), table_(table) {}

  template <class T>
  Sentry& operator<<(const T& value) {
    cell_ << value;
    return *this;
  }
  Sentry& operator<<(const Measure& measure) {
    measure.put(cell_);
    return *this;
  }
  Sentry& operator<<(Sentry& (*manipulator)(Sentry&)) { return manipulator(*this); }

  // Writes the collected text as the next cell and starts an empty one.
  void NextCell();
  Table& table() { return table_; }
  std::ostream& stream() { return os_; }

 private:
  std::ostream& os_;
  Table& table_;
  std::ostringstream cell_;
};

Table::Sentry& nextrow(Table::Sentry& sentry);
Table::Sentry& beginrow(Table::Sentry& sentry);
Table::Sentry& delimeter(Table::Sentry& sentry);

}  // namespace ext
