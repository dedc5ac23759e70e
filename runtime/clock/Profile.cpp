#include "runtime/clock/Profile.h"

namespace Profile {

Point* mRoot = nullptr;

Point::Point(const char* name) : next_(mRoot), name_(name) {
  mRoot = this;
}

Point::~Point() {
  for (Point** link = &mRoot; *link != nullptr; link = &(*link)->next_) {
    if (*link == this) {
      *link = next_;
      return;
    }
  }
}

void Point::put(std::ostream& os) const {
  os << '[' << name_ << "]: ";
  measure_.put(os);
}

void dump(std::ostream& os) {
  for (const Point* point = mRoot; point != nullptr; point = point->next_) {
    point->put(os);
    os << '\n';
  }
}

}  // namespace Profile
