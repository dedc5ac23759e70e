#include "runtime/containers/PointerAssertion.h"

#include <gtest/gtest.h>

namespace {

TEST(PointerAssertionDeathTest, EndsProcessWithMessage) {
  EXPECT_DEATH(SmartPtrAssertion(), "SMART POINTER ASSERTION!");
  EXPECT_DEATH(SharedPtrAssertion(), "SHARED POINTER ASSERTION!");
}

}  // namespace
