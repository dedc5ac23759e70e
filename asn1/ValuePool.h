#pragma once

#include <sanitizer/asan_interface.h>

#include <cstddef>
#include <cstdint>

namespace ASN1 {

// Recycles the small blocks that values are made of (value objects, SEQUENCE field tables and bitmaps, SEQUENCE OF
// element tables). A freed block goes onto a free list of its size class and the next request of that class takes
// it back, so decoding a message after the first one of its kind calls malloc only for what outgrows the classes
// (long strings and octet strings, large lists). Each thread has its own lists; a block may be freed on another
// thread than the one that took it. Each list keeps a bounded number of blocks, so a burst of large messages
// leaves no more than that behind. Under AddressSanitizer a kept block is poisoned, so a value used after its
// deletion is still reported.
namespace ValuePool {

// Classes of 16, 32, ... 256 bytes; larger blocks go straight to the global allocator.
constexpr size_t kGranule = 16;
constexpr size_t kClassCount = 16;
constexpr size_t kLargestPooled = kGranule * kClassCount;
// Blocks kept per class: a large message comes back without malloc, and one thread's pool stays far under a
// megabyte.
constexpr uint32_t kKeptPerClass = 512;

struct FreeBlock {
  FreeBlock* next;
};

// Plain data, so that it is ready before any code runs and outlives every value: values of static storage are
// destroyed after the thread's thread-local objects, and must still find the lists (or learn that they are gone).
struct Lists {
  FreeBlock* head[kClassCount];
  uint32_t count[kClassCount];
  bool kept;  // blocks may be kept: the lists are handed back when the thread ends
  bool gone;  // the thread is ending: blocks go back to the global allocator
};

inline thread_local Lists lists;

// The slow paths: a new block from the global allocator, and a block that the lists cannot take now.
void* AllocateNew(size_t bytes);
void ReleaseOther(void* block, size_t bytes) noexcept;

inline size_t ClassOf(size_t bytes) {
  return bytes == 0 ? 0 : (bytes - 1) / kGranule;
}

inline void* Allocate(size_t bytes) {
  if (bytes <= kLargestPooled) {
    const size_t c = ClassOf(bytes);
    if (FreeBlock* block = lists.head[c]) {
      ASAN_UNPOISON_MEMORY_REGION(block, (c + 1) * kGranule);
      lists.head[c] = block->next;
      --lists.count[c];
      return block;
    }
  }
  return AllocateNew(bytes);
}

inline void Release(void* block, size_t bytes) noexcept {
  const size_t c = ClassOf(bytes);
  if (block == nullptr || bytes > kLargestPooled || !lists.kept || lists.count[c] >= kKeptPerClass) {
    ReleaseOther(block, bytes);
    return;
  }
  auto* free_block = static_cast<FreeBlock*>(block);
  free_block->next = lists.head[c];
  ASAN_POISON_MEMORY_REGION(block, (c + 1) * kGranule);
  lists.head[c] = free_block;
  ++lists.count[c];
}

}  // namespace ValuePool

// A standard allocator over the pool, for the containers inside values.
template <class T>
struct PoolAllocator {
  using value_type = T;

  PoolAllocator() = default;
  template <class U>
  PoolAllocator(const PoolAllocator<U>&) {}  // converting, as allocators must be

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
