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

TEST(ValuePool, KeepsNoMoreThanItsBoundPerClass) {
  std::vector<void*> blocks;
  for (uint32_t i = 0; i < kKeptPerClass + 8; ++i) {
    blocks.push_back(Allocate(200));
  }
  for (void* block : blocks) {
    Release(block, 200);
  }
  EXPECT_EQ(ASN1::ValuePool::lists.count[ASN1::ValuePool::ClassOf(200)], kKeptPerClass);
}

TEST(ValuePool, AMessageReusesTheBlocksOfADeletedOne) {
  auto* first = new test::Message(test::MakeCommand(1, 5, test::Command::connect));
  delete first;
  auto* second = new test::Message;
  EXPECT_EQ(static_cast<void*>(second), static_cast<void*>(first));
  delete second;
#if defined(__SANITIZE_ADDRESS__)
  EXPECT_TRUE(__asan_address_is_poisoned(second));
#endif
}

}  // namespace
