#include "asn1/ValuePool.h"

#include <cstdint>
#include <new>

namespace ASN1 {
namespace ValuePool {
namespace {

// Classes of 16, 32, ... 256 bytes; larger blocks go straight to the global allocator.
constexpr size_t kGranule = 16;
constexpr size_t kClassCount = 16;
constexpr size_t kLargestPooled = kGranule * kClassCount;
// Blocks kept per class: enough for the largest message the decoder limits allow to come back without malloc in
// the common case, few enough that the pool of one thread stays well under a megabyte.
constexpr uint32_t kKeptPerClass = 512;

struct FreeBlock {
  FreeBlock* next;
};

// Plain data, so that it needs no constructor and outlives every value: values of static storage are destroyed
// after the thread's non-trivial thread-local objects, and must still find the lists (or know they are gone).
struct Lists {
  FreeBlock* head[kClassCount];
  uint32_t count[kClassCount];
  bool reaper_armed;
  bool gone;  // the thread is ending: blocks go back to the global allocator
};

thread_local Lists lists;

// Hands the kept blocks back when the thread ends.
struct Reaper {
  ~Reaper() {
    for (size_t c = 0; c < kClassCount; ++c) {
      while (FreeBlock* block = lists.head[c]) {
        lists.head[c] = block->next;
        ::operator delete(block);
      }
      lists.count[c] = 0;
    }
    lists.gone = true;
  }
};

void ArmReaper() {
  thread_local Reaper reaper;
  static_cast<void>(reaper);
  lists.reaper_armed = true;
}

size_t ClassOf(size_t bytes) {
  return bytes == 0 ? 0 : (bytes - 1) / kGranule;
}

}  // namespace

void* Allocate(size_t bytes) {
  if (bytes > kLargestPooled) {
    return ::operator new(bytes);
  }
  const size_t c = ClassOf(bytes);
  if (FreeBlock* block = lists.head[c]) {
    lists.head[c] = block->next;
    --lists.count[c];
    return block;
  }
  return ::operator new((c + 1) * kGranule);
}

void Release(void* block, size_t bytes) noexcept {
  if (block == nullptr) {
    return;
  }
  const size_t c = ClassOf(bytes);
  if (bytes > kLargestPooled || lists.gone || lists.count[c] >= kKeptPerClass) {
    ::operator delete(block);
    return;
  }
  if (!lists.reaper_armed) {
    ArmReaper();
  }
  auto* free_block = static_cast<FreeBlock*>(block);
  free_block->next = lists.head[c];
  lists.head[c] = free_block;
  ++lists.count[c];
}

}  // namespace ValuePool
}  // namespace ASN1
