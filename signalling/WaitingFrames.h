#pragma once

#include "runtime/protocol/CleanQueue.h"
#include "runtime/protocol/Packet.h"

// Frames an HDLC channel pushed back, oldest first, for a link layer that
// cannot send them again itself. They go out ahead of any later frame, since
// the peer must see them in the order they were made. The write that the
// caller passes is true when the channel took the frame (or lost it for good)
// and false when it pushed back.
template <unsigned N>
class WaitingFrames {
 public:
  enum class Sent { taken, refused, lost };

  // Writes the waiting frames, then this one. A frame the channel refuses
  // waits when keep is set (lost when N wait already), else it is refused.
  template <class Write>
  [[nodiscard]] Sent Send(Packet& frame, bool keep, Write write) {
    if (Resume(write) && write(frame)) {
      return Sent::taken;
    }
    if (!keep) {
      return Sent::refused;
    }
    return frames_.put(frame) ? Sent::taken : Sent::lost;
  }

  // Writes the waiting frames; false while the channel refuses the oldest.
  template <class Write>
  bool Resume(Write write) {
    for (Packet frame; frames_.preview(&frame); (void)frames_.get(&frame)) {
      if (!write(frame)) {
        return false;
      }
    }
    return true;
  }

  // True when a waiting frame satisfies match. The ring is walked by taking
  // each frame and putting it back, which leaves the order as it was.
  template <class Match>
  bool Holds(Match match) {
    bool found = false;
    for (unsigned n = frames_.count(); n > 0; --n) {
      Packet frame;
      (void)frames_.get(&frame);
      found = found || match(frame);
      (void)frames_.put(frame);
    }
    return found;
  }

  void clear() { frames_.clear(); }

 private:
  CleanQueue<Packet, N> frames_;
};
