#include "runtime/log/Table.h"

#include <algorithm>

namespace ext {

void Table::resetrow() {
  column_ = 0;
  in_row_ = false;
}

void Table::row(std::ostream& os, const std::string& text) {
  if (column_ >= widths_.size()) {
    return;
  }
  in_row_ = true;
  int width = widths_[column_];
  int length = std::min(static_cast<int>(text.size()), width);
  int slack = width - length;
  // Odd slack puts the extra blank on the right.
  os << '|' << std::string(static_cast<size_t>(slack / 2), ' ') << text
     << std::string(static_cast<size_t>((slack + 1) / 2), ' ');
  ++column_;
  if (column_ == widths_.size()) {
    os << '|' << '\n';
    in_row_ = false;
  }
}

void Table::finalize(std::ostream& os) {
  while (in_row_ && column_ < widths_.size()) {
    row(os, " ");
  }
}

void Table::delimeter(std::ostream& os) {
  finalize(os);
  Line(os, '+', '-');
}

void Table::gap(std::ostream& os) {
  finalize(os);
  Line(os, '|', ' ');
}

void Table::Line(std::ostream& os, char corner, char fill) {
  if (widths_.empty()) {
    return;
  }
  os << corner;
  for (int width : widths_) {
    os << std::string(static_cast<size_t>(std::max(width, 0)), fill) << corner;
  }
  os << '\n';
}

void Table::Sentry::NextCell() {
  table_.row(os_, cell_.str());
  cell_.str(std::string());
}

Table::Sentry& nextrow(Table::Sentry& sentry) {
  sentry.NextCell();
  return sentry;
}

Table::Sentry& beginrow(Table::Sentry& sentry) {
  sentry.table().resetrow();
  return sentry;
}

Table::Sentry& delimeter(Table::Sentry& sentry) {
  sentry.table().delimeter(sentry.stream());
  return sentry;
}

}  // namespace ext
