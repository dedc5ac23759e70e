#include "runtime/protocol/CleanQueue.h"

#include "runtime/protocol/Packet.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

Packet Frame(uint8_t tag) {
  Packet packet;
  packet.reserve_head(0);
  packet.put8(tag);
  return packet;
}

// The tags of every packet, taken oldest first.
template <unsigned N>
std::string Drain(CleanQueue<Packet, N>& ring) {
  std::string tags;
  Packet out;
  while (ring.get(&out)) {
    tags += out.text() + ' ';
  }
  return tags;
}

TEST(CleanQueue, KeepsOrderAndCapacity) {
  const struct {
    const char* name;
    std::vector<std::string> steps;  // "p<digit>" put, "a<digit>" append, "g" get, "l" get_last; "x" refused
    std::string taken;               // tags of get / get_last, in order
    std::string left;
  } kCases[] = {
      {"put and get in order", {"p1", "p2", "g"}, "01 ", "02 "},
      {"append goes in front", {"p1", "p2", "a3"}, "", "03 01 02 "},
      {"get_last takes the newest", {"p1", "p2", "p3", "l"}, "03 ", "01 02 "},
      {"eighth put is refused", {"p1", "p2", "p3", "p4", "p5", "p6", "p7", "p8x"}, "", "01 02 03 04 05 06 07 "},
      {"append to a full ring is refused",
       {"p1", "p2", "p3", "p4", "p5", "p6", "p7", "a8x"},
       "",
       "01 02 03 04 05 06 07 "},
      {"indexes wrap",
       {"p1", "p2", "p3", "p4", "p5", "p6", "p7", "g", "g", "p8", "a9", "l"},
       "01 02 08 ",
       "09 03 04 05 06 07 "},
      {"empty ring gives nothing", {"gx", "lx"}, "", ""},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    CleanQueue<Packet, 7> ring;
    std::string taken;
    for (const std::string& step : c.steps) {
      SCOPED_TRACE(step);
      const bool accepted = step.back() != 'x';
      const uint8_t tag = static_cast<uint8_t>(step.size() > 1 ? step[1] - '0' : 0);
      Packet out;
      switch (step[0]) {
        case 'p':
          EXPECT_EQ(ring.put(Frame(tag)), accepted);
          break;
        case 'a':
          EXPECT_EQ(ring.append(Frame(tag)), accepted);
          break;
        case 'g':
          EXPECT_EQ(ring.get(out), accepted);
          break;
        case 'l':
          EXPECT_EQ(ring.get_last(&out), accepted);
          break;
      }
      if (out) {
        taken += out.text() + ' ';
      }
    }
    EXPECT_EQ(taken, c.taken);
    EXPECT_EQ(Drain(ring), c.left);
  }
}

TEST(CleanQueue, ClearReleasesEveryHeldPacket) {
  Packet watched = Frame(1);
  const _Packet* buffer = watched.get();
  CleanQueue<Packet, 3> ring;
  ASSERT_TRUE(ring.put(Frame(0)));
  Packet taken;
  ASSERT_TRUE(ring.get(&taken));
  // The ring has wrapped: what it holds sits at both ends of its slots.
  ASSERT_TRUE(ring.put(watched));
  ASSERT_TRUE(ring.put(watched));
  ASSERT_TRUE(ring.append(watched));
  ASSERT_EQ(buffer->ref_count, 4u);
  ring.clear();
  EXPECT_EQ(ring.count(), 0u);
  EXPECT_EQ(buffer->ref_count, 1u);
  ASSERT_TRUE(ring.put(Frame(2)));
  EXPECT_EQ(Drain(ring), "02 ");
}

}  // namespace
