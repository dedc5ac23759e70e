#pragma once

#include "runtime/clock/Measure.h"

#include <ostream>

// Named timing points on one process-wide chain, printed by the status dump.
namespace Profile {

class Point {
 public:
  // Puts the point at the head of the chain: the newest point is dumped first.
  explicit Point(const char* name);
  ~Point();
  Point(const Point&) = delete;
  Point& operator=(const Point&) = delete;

  void begin() { measure_.begin(); }
  void end() { measure_.end(); }
  // "[name]: min=.. max=.. avg=.. counter=..".
  void put(std::ostream& os) const;

 private:
  friend void dump(std::ostream& os);

  Point* next_ = nullptr;
  const char* name_;
  Measure measure_;
};

// Head of the chain, null while no point exists.
extern Point* mRoot;

// Every point in chain order, one per line.
void dump(std::ostream& os);

}  // namespace Profile
