#pragma once

#include <cstddef>
#include <deque>
#include <utility>
#include <vector>

namespace sim {

// What a simulated device saw, newest last. Enough for a test to see what a
// command did, and bounded so a long workstation run does not grow without end.
template <typename T, size_t Kept = 1000>
class History {
 public:
  static constexpr size_t kKept = Kept;

  void Add(T item) {
    if (items_.size() == kKept) {
      items_.pop_front();
    }
    items_.push_back(std::move(item));
  }
  std::vector<T> Items() const { return std::vector<T>(items_.begin(), items_.end()); }
  void Clear() { items_.clear(); }

  typename std::deque<T>::const_iterator begin() const { return items_.begin(); }
  typename std::deque<T>::const_iterator end() const { return items_.end(); }

 private:
  std::deque<T> items_;
};

}  // namespace sim
