#include "runtime/protocol/Packet.h"

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr unsigned kPoolSize = 1024;

Packet WithBytes(std::vector<uint8_t> bytes, unsigned head_room = 16) {
  Packet packet;
  packet.reserve_head(head_room);
  packet.put(bytes.data(), static_cast<unsigned>(bytes.size()));
  return packet;
}

// Takes buffers until the pool is empty, then gives them all back.
unsigned CountFreeBuffers() {
  std::vector<Packet> taken;
  try {
    for (;;) {
      taken.emplace_back();
      taken.back().reserve_head(0);
    }
  } catch (const std::bad_alloc&) {
  }
  return static_cast<unsigned>(taken.size()) - 1;
}

std::string Room(const Packet& packet) {
  std::ostringstream os;
  EXPECT_TRUE(packet.dump(os));
  return os.str();
}

TEST(Packet, BuildsFieldsInByteOrder) {
  const struct {
    const char* name;
    std::function<void(Packet&)> build;
    const char* text;
  } kCases[] = {
      {"push16_b reads high byte first", [](Packet& p) { p.push16_b(0xABCD); }, "AB CD 12 34"},
      {"put16 is low byte first", [](Packet& p) { p.put16(0x1234); }, "12 34 34 12"},
      {"put16_b is high byte first", [](Packet& p) { p.put16_b(0x1234); }, "12 34 12 34"},
      {"put8 and push8 at either end", [](Packet& p) { (p.put8(0xAB), p.push8(0x01)); }, "01 12 34 AB"},
      {"string carries a length byte", [](Packet& p) { p.put(std::string("hi")); }, "12 34 02 68 69"},
      {"trim drops the tail", [](Packet& p) { p.trim(1); }, "12"},
      {"another packet, then itself", [](Packet& p) { (p.put(WithBytes({5})), p.put(p)); }, "12 34 05 12 34 05"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    Packet packet = WithBytes({0x12, 0x34});
    c.build(packet);
    EXPECT_EQ(packet.text(), c.text);
  }
}

TEST(Packet, PullsReadMissingBytesAsZero) {
  const struct {
    const char* name;
    std::vector<uint8_t> in;
    std::function<unsigned(Packet&)> pull;
    unsigned value;
    unsigned left;
  } kCases[] = {
      {"pull16_b", {0x12, 0x34, 0x56}, [](Packet& p) { return p.pull16_b(); }, 0x1234, 1},
      {"pull16_l", {0x12, 0x34, 0x56}, [](Packet& p) { return p.pull16_l(); }, 0x3412, 1},
      {"pull16_b of one byte", {0xAB}, [](Packet& p) { return p.pull16_b(); }, 0xAB00, 0},
      {"pull16_l of one byte", {0xAB}, [](Packet& p) { return p.pull16_l(); }, 0xAB, 0},
      {"pull16_b of nothing", {}, [](Packet& p) { return p.pull16_b(); }, 0, 0},
      {"pull8", {0x7F, 0x01}, [](Packet& p) { return p.pull8(); }, 0x7F, 1},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    Packet packet = WithBytes(c.in);
    EXPECT_EQ(c.pull(packet), c.value);
    EXPECT_EQ(packet.length(), c.left);
  }

  Packet strings = WithBytes({3, 'a', 'b', 'c', 3, 'a'});
  EXPECT_EQ(strings.pull_string(), "abc");
  EXPECT_EQ(strings.pull_string(), std::string("a\0\0", 3)) << "missing bytes read as 0";
}

TEST(Packet, ReservesRoomOnEitherSide) {
  Packet fresh;
  fresh.reserve_head(0);
  EXPECT_EQ(Room(fresh), "head=0, data=0, tail=65536");

  Packet stacked;
  stacked.reserve_head(4);
  stacked.reserve_head(4);
  EXPECT_EQ(Room(stacked), "head=8, data=0, tail=65528");

  Packet trailer;
  trailer.reserve_tail(10);
  trailer.reserve_tail(2);
  EXPECT_EQ(Room(trailer), "head=65524, data=0, tail=12");

  Packet full;
  full.reserve_head(packet_max_size);
  EXPECT_EQ(Room(full), "head=65536, data=0, tail=0");
}

TEST(Packet, CopiesOnWrite) {
  const unsigned free_before = CountFreeBuffers();
  Packet first = WithBytes({1, 2, 3});
  Packet second = first;
  EXPECT_EQ(CountFreeBuffers(), free_before - 1) << "a copy shares the buffer";

  second.put8(4);
  EXPECT_EQ(first.text(), "01 02 03");
  EXPECT_EQ(second.text(), "01 02 03 04");
  EXPECT_EQ(Room(second), "head=16, data=4, tail=65516") << "offsets are kept";
  EXPECT_EQ(CountFreeBuffers(), free_before - 2);

  Packet third = first;
  EXPECT_EQ(third.pull8(), 1);
  EXPECT_EQ(first.text(), "01 02 03") << "pulling from a shared packet copies it first";

  first.reset();
  second.reset();
  third.reset();
  EXPECT_EQ(CountFreeBuffers(), free_before);
}

TEST(Packet, SubIsAPrivateCopy) {
  Packet whole = WithBytes({1, 2, 3, 4, 5});
  Packet part = whole.sub(2, 1);
  EXPECT_EQ(part.text(), "02 03");
  EXPECT_EQ(Room(part), "head=17, data=2, tail=65517");
  part.push8(9);
  EXPECT_EQ(whole.text(), "01 02 03 04 05");
  EXPECT_EQ(whole.sub(0, 5).length(), 0u);
}

TEST(Packet, TextAndDumps) {
  EXPECT_EQ(WithBytes({0x03, 0x00, 0x00, 0x1C}).text(), "03 00 00 1C");
  EXPECT_EQ(Packet().text(), "(null)");
  EXPECT_EQ(Packet().length(), 0u);

  std::ostringstream os;
  EXPECT_FALSE(Packet().dump(os));
  EXPECT_FALSE(Packet().dump_context(os));
  EXPECT_TRUE(WithBytes({0x0A, 0xFF, 0x00}).dump_context(os));
  os << ' ' << 255;
  EXPECT_EQ(os.str(), "dump: a ff 0 255") << "the stream's number format is restored";
}

TEST(PacketDeathTest, BrokenInvariantsEndTheProcess) {
  const struct {
    const char* name;
    std::function<void()> act;
    const char* output;
  } kCases[] = {
      {"push without head room", [] { WithBytes({7}, 0).push8(1); },
       "PACKET ASSERTION FAILED!\nlen<=_headroom\\(\\)\nhead=0, data=1, tail=65535\ndump:\n 7\n"},
      {"head room beyond the buffer", [] { Packet().reserve_head(packet_max_size + 1); },
       "PACKET ASSERTION FAILED!\nlength>packet_max_size\n\\(null\\)"},
      {"moving data past the buffer end",
       [] {
         WithBytes({1, 2}, packet_max_size - 2).reserve_head(1);
       },
       "new_len>packet_max_size"},
      {"moving data before the buffer start",
       [] {
         WithBytes({1, 2}, 3).reserve_tail(4);
       },
       "_tailroom\\(\\)\\+len <= packet_max_size"},
      {"put past the tail room", [] { WithBytes({1}, packet_max_size - 1).put8(2); }, "len<=_tailroom\\(\\)"},
      {"string too long for its length byte", [] { WithBytes({}).put(std::string(256, 'x')); },
       "string.length\\(\\)<=255"},
      {"pull from an empty packet", [] { WithBytes({}).pull8(); }, "len<=_length\\(\\)"},
      {"trim more than the data", [] { WithBytes({1}).trim(2); }, "len<=_length\\(\\)"},
      {"index past the data", [] { (void)WithBytes({1})[1]; }, "index out of range"},
      {"sub whose end wraps around",
       [] {
         WithBytes({1, 2}).sub(0xFFFFFFFFu, 1);
       },
       "start\\+len<=_length\\(\\)"},
      {"appending a null packet", [] { WithBytes({1}).put(Packet()); }, "null packet"},
      {"modifying a null handle", [] { Packet().put8(1); }, "SMART POINTER ASSERTION!"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_DEATH(c.act(), c.output);
  }
}

}  // namespace
