#pragma once

#include "runtime/containers/F_dual_list.h"

#include <cstddef>

// Locking policy of a List_allocator used by one thread only: it locks nothing.
struct Dummy_critical_section {
  void enter() {}
  void leave() {}
};

// A fixed pool of N objects of T in static storage, handed out from an
// intrusive free list, so taking and returning one never touches the heap and
// costs constant time. Objects are reused in the order they were returned.
template <class T, std::size_t N, class CriticalSection>
class List_allocator {
 public:
  List_allocator() { free_.init(blocks_, N); }
  List_allocator(const List_allocator&) = delete;
  List_allocator& operator=(const List_allocator&) = delete;

  // The oldest returned object, or null when the pool is empty.
  T* allocate() {
    lock_.enter();
    T* object = free_.remove_from_head();
    lock_.leave();
    return object;
  }

  // Returns an object taken from this pool.
  void deallocate(T* object) {
    lock_.enter();
    free_.insert_to_tail(static_cast<Block*>(object));
    lock_.leave();
  }

 private:
  // The free-list links followed by the object itself.
  struct Block : F_dual_list_item<Block>, T {};

  Block blocks_[N];
  F_dual_list<Block> free_;
  CriticalSection lock_;
};
