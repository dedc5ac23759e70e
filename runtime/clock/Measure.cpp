#include "runtime/clock/Measure.h"

#include "runtime/clock/Mux.h"

void Measure::begin() {
  begin_time_ = Mux::microseconds();
}

uint32_t Measure::end() {
  return Record(Mux::microseconds());
}

uint32_t Measure::restart() {
  const uint32_t now = Mux::microseconds();
  const uint32_t elapsed = Record(now);
  begin_time_ = now;
  return elapsed;
}

uint32_t Measure::Record(uint32_t now) {
  uint32_t elapsed = now - begin_time_;
  if (first_sample_) {
    first_sample_ = false;
    min_ = max_ = last_ = elapsed;
    counter_ = 1;
    return elapsed;
  }
  ++counter_;
  if (elapsed < min_) {
    min_ = elapsed;
  }
  if (elapsed > max_) {
    max_ = elapsed;
  }
  last_ = elapsed;
  return elapsed;
}

void Measure::put(std::ostream& os) const {
  os << "min=" << min_ << " max=" << max_ << " avg=" << last_ << " counter=" << counter_;
}
