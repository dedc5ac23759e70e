// The Q.931 frame logger against golden texts, and its bound on the buffer.
#include "signalling/Q931FrameLog.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct Case {
  const char* name;
  std::vector<uint8_t> frame;
  int direction;
  const char* text;  // after the hex line
};

const Case kCases[] = {
    {"too short", {0x02, 0xFF}, 1, nullptr},
    {"broadcast SETUP",
     {0x02, 0xFF, 0x03, 0x08, 0x01, 0x01, 0x05, 0xA1},
     1,
     "frame network->user broadcast\ncallref 1 caller size 5 message type SETUP\n  Sending complete\n"},
    {"RR", {0x00, 0x81, 0x01, 0x05}, 0, "frame user->network SFrame tei = 64 (01 05 )\n"},
    {"TEI management", {0xFC, 0xFF, 0x03, 0x0F, 0x12, 0x34, 0x01, 0xFF}, 0, "frame user->network tei management:\n"},
    {"elements",
     {0x00, 0x81, 0x00, 0x00, 0x08, 0x01, 0x81, 0x45, 0x96, 0x08, 0x02, 0x80, 0x90,
      0x50, 0x02, 0x11, 0x22, 0x1E, 0x03, 0x01, 0x82, 0x83, 0x28, 0x02, 0x34, 0x00},
     0,
     "frame user->network IFrame tei = 64\ncallref 1 called size 22 message type DISCONNECT\n  Shift 6\n"
     "  Cause\n    coding 00 location 0000\n  cause value 10 : Normal call clearing \n"
     "  attribute 50 attribute size 2\n"
     "  Progress indicator\n    octet 3  00000001\n    octet 3a 10000010\n    octet 4  10000011\n"
     "  Display\n   \"4.\"\n"},
    {"numbers",
     {0x02, 0x81, 0x00, 0x00, 0x08, 0x01, 0x02, 0x05, 0x6C, 0x04, 0x01, 0x80, 0x35, 0x36, 0x70, 0x03, 0x81, 0x37, 0x38},
     1,
     "frame network->user IFrame tei = 64\ncallref 2 caller size 15 message type SETUP\n"
     "  Calling party number\n    octet 3 00000001\n    octet 3a 10000000\n    number digits 56\n"
     "  Called party number\n    octet 3 10000001\n    number digits 78\n"},
    {"two-octet call reference",
     {0x00, 0x01, 0x00, 0x00, 0x08, 0x02, 0x81, 0x23, 0x07},
     0,
     "frame user->network IFrame tei = 0\ncallref 291 called size 5 message type CONNECT\n"},
    {"truncated element",
     {0x00, 0x01, 0x00, 0x00, 0x08, 0x01, 0x01, 0x7B, 0x70, 0x09, 0x81},
     0,
     "frame user->network IFrame tei = 0\ncallref 1 caller size 7 message type INFORMATION\n  element 70 truncated\n"},
    {"call reference past the end",
     {0x00, 0x01, 0x00, 0x00, 0x08, 0x03, 0x01},
     0,
     "frame user->network IFrame tei = 0\nframe too short\n"},
    {"other protocol",
     {0x00, 0x01, 0x00, 0x00, 0x09, 0x00},
     0,
     "frame user->network IFrame tei = 0\nUnknown protocol 9!"},
};

TEST(Q931FrameLog, GoldenTexts) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    char text[1024];
    ISDN::dlogframe(c.frame.data(), static_cast<unsigned>(c.frame.size()), c.direction, text, sizeof text);
    if (c.text == nullptr) {
      EXPECT_STREQ(text, "");
      continue;
    }
    std::string hex;
    for (uint8_t byte : c.frame) {
      char octet[4];
      std::snprintf(octet, sizeof octet, " %02X", byte);
      hex += octet;
    }
    EXPECT_EQ(std::string(text), hex + "\n" + c.text);
  }
}

TEST(Q931FrameLog, CutsAtTheBufferWithAMarker) {
  const std::vector<uint8_t> frame(600, 0x00);
  for (size_t size : {1, 5, 64, 1024}) {
    SCOPED_TRACE(size);
    std::vector<char> text(size + 1, 'x');
    ISDN::dlogframe(frame.data(), static_cast<unsigned>(frame.size()), 0, text.data(), size);
    EXPECT_EQ(text[size], 'x');
    const std::string written(text.data());
    ASSERT_LT(written.size(), size);
    EXPECT_EQ(written.substr(size > 5 ? written.size() - 5 : 0), std::string(" ...\n").substr(0, size - 1));
  }
}

}  // namespace
