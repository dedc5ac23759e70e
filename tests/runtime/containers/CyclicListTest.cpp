#include "runtime/containers/CyclicList.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Receiver : Containers::CyclicList {
  explicit Receiver(int id, Containers::CyclicList& anchor) : id(id) { InternalAddTail(&anchor); }
  ~Receiver() { InternalDel(prev, next); }
  int id;
};

std::vector<int> Ids(Containers::CyclicList& anchor) {
  std::vector<int> ids;
  for (Containers::CyclicList* node : anchor) {
    ids.push_back(Containers::offset<Receiver>(node)->id);
  }
  return ids;
}

TEST(CyclicList, VisitsInCreationOrderAndUnlinks) {
  Containers::CyclicList anchor;
  EXPECT_TRUE(Ids(anchor).empty());
  {
    Receiver first(1, anchor);
    {
      Receiver second(2, anchor);
      Receiver third(3, anchor);
      EXPECT_EQ(Ids(anchor), (std::vector<int>{1, 2, 3}));
    }
    EXPECT_EQ(Ids(anchor), (std::vector<int>{1}));
  }
  EXPECT_EQ(anchor.next, &anchor);
  EXPECT_EQ(anchor.prev, &anchor);
}

}  // namespace
