#pragma once

#include <array>
#include <cstdint>

// A fixed ring of N handles (packets): put at the tail, append back at the
// head, get from the head or the tail. It holds references, not copies, and
// never allocates. Every handle taken out or cleared is released at once, so a
// reset link pins no pool buffer.
template <class T, unsigned N>
class CleanQueue {
  static_assert(N > 0, "a ring needs a slot");

 public:
  // False when full; nothing changes then.
  bool put(const T& item) {
    if (count_ == N) {
      return false;
    }
    slots_[tail_] = item;
    tail_ = inc_index(tail_);
    ++count_;
    return true;
  }

  // Queues the item in front of the oldest one, so it is taken next.
  bool append(const T& item) {
    if (count_ == N) {
      return false;
    }
    head_ = dec_index(head_);
    slots_[head_] = item;
    ++count_;
    return true;
  }

  // Takes the oldest item; out is untouched when the ring is empty.
  bool get(T* out) {
    if (count_ == 0) {
      return false;
    }
    *out = slots_[head_];
    slots_[head_] = T();
    head_ = inc_index(head_);
    --count_;
    return true;
  }
  bool get(T& out) { return get(&out); }

  // Takes the newest item.
  bool get_last(T* out) {
    if (count_ == 0) {
      return false;
    }
    tail_ = dec_index(tail_);
    *out = slots_[tail_];
    slots_[tail_] = T();
    --count_;
    return true;
  }

  // Shares the oldest item without taking it; out may be null to ask only
  // whether there is one.
  bool preview(T* out) const {
    if (count_ == 0) {
      return false;
    }
    if (out != nullptr) {
      *out = slots_[head_];
    }
    return true;
  }

  unsigned count() const { return count_; }
  static constexpr unsigned size() { return N; }
  bool empty() const { return count_ == 0; }

  void clear() {
    for (; count_ > 0; --count_) {
      slots_[head_] = T();
      head_ = inc_index(head_);
    }
    head_ = 0;
    tail_ = 0;
  }

  static unsigned inc_index(unsigned i) { return i == N - 1 ? 0 : i + 1; }

 private:
  static unsigned dec_index(unsigned i) { return i == 0 ? N - 1 : i - 1; }

  std::array<T, N> slots_{};
  uint32_t head_ = 0;
  uint32_t tail_ = 0;
  uint32_t count_ = 0;
};
