#pragma once

namespace sim {

// What a simulated line does to the frames on it. Counts include every frame
// put on the line.
struct LineImpairments {
  unsigned drop_every = 0;       // the n-th, 2n-th, ... frame is lost (0: none)
  unsigned duplicate_every = 0;  // the n-th, 2n-th, ... frame arrives twice
  bool cut = false;              // every frame is lost
};

// A line's impairments and its frame count.
class ImpairedLine {
 public:
  // How many copies of the next frame arrive: 0, 1 or 2.
  unsigned Copies() {
    ++frames_;
    if (impairments.cut || (impairments.drop_every != 0 && frames_ % impairments.drop_every == 0)) {
      return 0;
    }
    return impairments.duplicate_every != 0 && frames_ % impairments.duplicate_every == 0 ? 2 : 1;
  }

  LineImpairments impairments;

 private:
  unsigned frames_ = 0;
};

}  // namespace sim
