#include "runtime/log/Ext.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>

namespace {

TEST(Ext, HexOutputRestoresStreamFormat) {
  const uint8_t bytes[] = {0x03, 0x00, 0x1C, 0xAB};
  const struct {
    const char* name;
    std::string out;
    const char* expected;
  } kCases[] = {
      {"buffer", (std::ostringstream() << ext::OutBufInHex(bytes, bytes + 3)).str(), "03 00 1C "},
      {"empty buffer", (std::ostringstream() << ext::OutBufInHex(bytes, bytes)).str(), ""},
      {"unsigned padded", (std::ostringstream() << ext::OutUnsignedInHex(0x1A, 4)).str(), "0x001A"},
      {"unsigned wider than width", (std::ostringstream() << ext::OutUnsignedInHex(0xABCDE, 2)).str(), "0xABCDE"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.out, c.expected);
  }

  std::ostringstream os;
  os << ext::OutBufInHex(bytes + 3, bytes + 4) << ext::OutUnsignedInHex(255, 3);
  os.width(3);
  os << 26 << ' ' << 10;
  EXPECT_EQ(os.str(), "AB 0x0FF 26 10");
}

}  // namespace
