#pragma once

#include <cstddef>
#include <memory>

namespace ASN1 {

// Recycles the small blocks that values are made of (value objects, SEQUENCE field tables and bitmaps, SEQUENCE OF
// element tables). A freed block goes onto a free list of its size class and the next request of that class takes
// it back, so decoding a message after the first one of its kind calls malloc only for what outgrows the classes
// (long strings and octet strings, large lists). Each thread has its own lists; a block may be freed on another
// thread than the one that took it. Each list keeps a bounded number of blocks, so a burst of large messages
// leaves no more than that behind.
namespace ValuePool {

void* Allocate(size_t bytes);
void Release(void* block, size_t bytes) noexcept;

}  // namespace ValuePool

// A standard allocator over the pool, for the containers inside values.
template <class T>
struct PoolAllocator {
  using value_type = T;

  PoolAllocator() = default;
  template <class U>
  PoolAllocator(const PoolAllocator<U>&) {}  // NOLINT: converting, as allocators must be

  T* allocate(size_t n) { return static_cast<T*>(ValuePool::Allocate(n * sizeof(T))); }
  void deallocate(T* block, size_t n) noexcept { ValuePool::Release(block, n * sizeof(T)); }

  template <class U>
  bool operator==(const PoolAllocator<U>&) const {
    return true;
  }
  template <class U>
  bool operator!=(const PoolAllocator<U>&) const {
    return false;
  }
};

}  // namespace ASN1
