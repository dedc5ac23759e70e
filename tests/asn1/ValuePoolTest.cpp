#include "asn1/ValuePool.h"

#include "TestSchema.h"

#include <gtest/gtest.h>

#include <sanitizer/asan_interface.h>

#include <vector>

namespace {

using ASN1::ValuePool::Allocate;
using ASN1::ValuePool::kKeptPerClass;
using ASN1::ValuePool::Release;

TEST(ValuePool, HandsAFreedBlockToTheNextRequestOfItsClass) {
  void* block = Allocate(40);
  Release(block, 40);
  void* again = Allocate(33);  // 33 to 48 bytes share a class
  EXPECT_EQ(again, block);
  void* other = Allocate(24);
  EXPECT_NE(other, block);
  Release(again, 33);
  Release(other, 24);
}

}  // namespace
