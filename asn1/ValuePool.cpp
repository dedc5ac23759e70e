#include "asn1/ValuePool.h"

#include <new>

namespace ASN1 {
namespace ValuePool {
namespace {

// Hands the kept blocks back when the thread ends.
struct Reaper {
  ~Reaper() {
    lists.kept = false;
    lists.gone = true;
    for (size_t c = 0; c < kClassCount; ++c) {
      while (FreeBlock* block = lists.head[c]) {
        ASAN_UNPOISON_MEMORY_REGION(block, (c + 1) * kGranule);
        lists.head[c] = block->next;
        ::operator delete(block);
      }
      lists.count[c] = 0;
    }
  }
};

}  // namespace

void* AllocateNew(size_t bytes) {
  if (bytes > kLargestPooled) {
    return ::operator new(bytes);
  }
  return ::operator new((ClassOf(bytes) + 1) * kGranule);
}

void ReleaseOther(void* block, size_t bytes) noexcept {
  if (block == nullptr) {
    return;
  }
  if (bytes > kLargestPooled || lists.gone || lists.count[ClassOf(bytes)] >= kKeptPerClass) {
    ::operator delete(block);
    return;
  }
  // The first block this thread keeps: arm the hand-back, then keep it.
  thread_local Reaper reaper;
  static_cast<void>(reaper);
  lists.kept = true;
  Release(block, bytes);
}

}  // namespace ValuePool
}  // namespace ASN1
