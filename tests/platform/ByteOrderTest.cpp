#include "platform/ByteOrder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace platform {
namespace {

TEST(ByteOrder, WritesBoardOrderAndRefusesOverflow) {
  uint8_t record[7] = {};
  BeWriter writer(record, sizeof record);
  writer.U16(0x1234).U32(0xA1B2C3D4).U8(0x7F);
  EXPECT_FALSE(writer.Overflowed());
  const std::vector<uint8_t> expected = {0x12, 0x34, 0xA1, 0xB2, 0xC3, 0xD4, 0x7F};
  EXPECT_EQ(std::vector<uint8_t>(record, record + 7), expected);

  writer.U8(0);
  EXPECT_TRUE(writer.Overflowed());
}

TEST(ByteOrder, ShortRecordFailsAsAWhole) {
  const uint8_t record[5] = {0x00, 0x00, 0x01, 0x02, 0xFF};
  BeReader reader(record, sizeof record);
  EXPECT_EQ(reader.U32(), 0x0102u);
  EXPECT_TRUE(reader.Ok());
  EXPECT_EQ(reader.U16(), 0u);
  EXPECT_FALSE(reader.Ok());
  EXPECT_EQ(reader.Remaining(), 0u);
}

}  // namespace
}  // namespace platform
