#include "runtime/containers/F_dual_list.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Item : F_dual_list_item<Item> {
  explicit Item(int key = 0) : key(key) {}
  int compare(const Item* other) const { return key - other->key; }
  int key;
};

template <class List>
std::vector<const Item*> Order(const List& list) {
  std::vector<const Item*> order;
  for (const Item& item : list) {
    order.push_back(&item);
  }
  return order;
}

TEST(FDualList, InsertAndRemoveKeepLinksConsistent) {
  Item a, b, c, d;
  F_dual_list<Item> list;
  list.insert_to_tail(&b);
  list.insert_to_head(&a);
  list.push_back(&d);
  list.insert_after(&b, &c);
  EXPECT_EQ(Order(list), (std::vector<const Item*>{&a, &b, &c, &d}));
  EXPECT_EQ(list.size(), 4u);

  list.remove(&c);
  EXPECT_EQ(c.next, nullptr);
  EXPECT_EQ(c.prev, nullptr);
  EXPECT_EQ(list.remove_from_tail(), &d);
  EXPECT_EQ(list.last(), &b);
  EXPECT_EQ(list.remove_from_head(), &a);
  EXPECT_EQ(list.remove_from_head(), &b);
  EXPECT_EQ(list.remove_from_head(), nullptr);
  EXPECT_EQ(list.size(), 0u);
  EXPECT_EQ(list.begin(), list.end());
  EXPECT_EQ(list.last(), nullptr);
  list.insert_to_tail(&c);
  EXPECT_EQ(list.first(), &c);
  EXPECT_EQ(list.last(), &c);
}

}  // namespace
