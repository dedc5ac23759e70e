#pragma once

#include <cstdint>
#include <ostream>

// Timing statistic in microseconds of the loop clock: min, max, last sample
// and number of samples.
class Measure {
 public:
  void begin();
  // Elapsed microseconds since begin(), modulo 2^32, recorded as one sample.
  uint32_t end();
  // end(), and the next sample begins at the same reading: back-to-back
  // samples cost one clock reading each.
  uint32_t restart();
  // "min=.. max=.. avg=.. counter=..": the value after "avg=" is the last sample.
  void put(std::ostream& os) const;

 private:
  uint32_t Record(uint32_t now);

  uint32_t min_ = 0;
  uint32_t max_ = 0;
  uint32_t last_ = 0;
  bool first_sample_ = true;
  uint32_t begin_time_ = 0;
  uint32_t counter_ = 0;
};
