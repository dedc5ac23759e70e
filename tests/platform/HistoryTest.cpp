#include "platform/sim/History.h"

#include <gtest/gtest.h>

namespace sim {
namespace {

TEST(History, KeepsTheNewestWithinItsBound) {
  History<size_t> history;
  for (size_t i = 0; i <= History<size_t>::kKept; ++i) {
    history.Add(i);
  }
  const std::vector<size_t> items = history.Items();
  ASSERT_EQ(items.size(), History<size_t>::kKept);
  EXPECT_EQ(items.front(), 1u);
  EXPECT_EQ(items.back(), History<size_t>::kKept);

  history.Clear();
  EXPECT_TRUE(history.Items().empty());
}

}  // namespace
}  // namespace sim
