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

  void clear() { frames_.clear(); }

 private:
  CleanQueue<Packet, N> frames_;
};
