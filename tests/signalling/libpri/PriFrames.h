#pragma once

extern "C" {
#include <libpri.h>
}

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <utility>
#include <vector>

// libpri's end of a D channel in memory, named as libpri's user data. libpri
// writes each frame with two octets of room for the check sequence and
// expects them on what it reads: Queue adds them, and what libpri writes
// reaches the sink without them.
class PriFrames {
 public:
  using Bytes = std::vector<uint8_t>;

  explicit PriFrames(std::function<void(Bytes)> sink) : sink_(std::move(sink)) {}

  void Queue(Bytes frame) {
    frame.insert(frame.end(), {0, 0});
    queue_.push_back(std::move(frame));
  }
  bool Empty() const { return queue_.empty(); }

  static int Read(struct pri* pri, void* buf, int size) {
    auto* self = static_cast<PriFrames*>(pri_get_userdata(pri));
    if (self->queue_.empty()) {
      return 0;
    }
    const Bytes frame = std::move(self->queue_.front());
    self->queue_.pop_front();
    const int n = std::min(size, static_cast<int>(frame.size()));
    std::copy(frame.begin(), frame.begin() + n, static_cast<uint8_t*>(buf));
    return n;
  }
  static int Write(struct pri* pri, void* buf, int size) {
    auto* self = static_cast<PriFrames*>(pri_get_userdata(pri));
    const auto* bytes = static_cast<const uint8_t*>(buf);
    if (size > 2) {
      self->sink_(Bytes(bytes, bytes + size - 2));
    }
    return size;
  }

 private:
  std::function<void(Bytes)> sink_;
  std::deque<Bytes> queue_;
};
