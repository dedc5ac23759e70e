#include "rtp/RTPC.h"

#include "rtp/RtpErr.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Item = RTPC::SDES::Item;

std::unique_ptr<RTPC::Msg> Sdes(std::vector<std::pair<Item::Type, std::string>> items) {
  auto sdes = std::make_unique<RTPC::SDES>(0x01020304);
  for (const auto& item : items) {
    sdes->add(item.first, item.second);
  }
  return sdes;
}

// The encoded packet in hex, and that nothing was written past size.
std::string Encoded(const RTPC::Msg& message, unsigned size) {
  std::vector<char> buffer(size + 16, '\x55');
  const unsigned length = message.encode(buffer.data(), size);
  for (unsigned i = size; i < buffer.size(); ++i) {
    EXPECT_EQ(buffer[i], '\x55') << "written past the size at " << i;
  }
  std::string hex;
  char digits[3];
  for (unsigned i = 0; i < length; ++i) {
    std::snprintf(digits, sizeof digits, "%02x", static_cast<uint8_t>(buffer[i]));
    hex += digits;
  }
  return hex;
}

TEST(Rtcp, GoldenPackets) {
  const std::string ssrc = "01020304";
  const std::string bye = "81cb0004" + ssrc + "0b" + "73657373696f6e20656e64";  // "session end"
  struct Case {
    const char* name;
    std::function<std::unique_ptr<RTPC::Msg>()> message;
    unsigned size;
    std::string packet;
  } cases[] = {
      {"BYE", [] { return std::make_unique<RTPC::BYE>(0x01020304, "session end"); }, 1024, bye},
      {"BYE without reason", [] { return std::make_unique<RTPC::BYE>(0x01020304, ""); }, 1024, "81cb0001" + ssrc},
      {"BYE reason cut to the room", [] { return std::make_unique<RTPC::BYE>(0x01020304, "session end"); }, 14,
       "81cb0002" + ssrc + "03736573"},
      {"BYE without room for a reason", [] { return std::make_unique<RTPC::BYE>(0x01020304, "x"); }, 11,
       "81cb0001" + ssrc},
      {"BYE below 8 bytes", [] { return std::make_unique<RTPC::BYE>(0x01020304, "x"); }, 7, ""},
      {"SDES without items ends its list", [] { return Sdes({}); }, 1024, "81ca0002" + ssrc + "00000000"},
      {"SDES item ending one short of a word",
       [] {
         return Sdes({{Item::CNAME, "a"}});
       },
       1024, "81ca0002" + ssrc + "010161" + "00"},
      {"SDES item ending on a word",
       [] {
         return Sdes({{Item::CNAME, "ab"}});
       },
       1024, "81ca0003" + ssrc + "01026162" + "00000000"},
      {"SDES items in order",
       [] {
         return Sdes({{Item::EMAIL, "e"}, {Item::PHONE, "12"}});
       },
       1024, "81ca0003" + ssrc + "030165" + "04023132" + "00"},
      {"SDES item that does not fit is dropped",
       [] {
         return Sdes({{Item::CNAME, "abcdef"}});
       },
       16, "81ca0002" + ssrc + "00000000"},
      {"SDES without room for the end", [] { return Sdes({}); }, 11, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Encoded(*c.message(), c.size), c.packet);
  }
}

TEST(Rtcp, LongSdesItemIsCutTo255) {
  const std::string packet = Encoded(*Sdes({{Item::CNAME, std::string(300, 'x')}}), 1024);
  ASSERT_EQ(packet.size(), 2u * 268);
  EXPECT_EQ(packet.substr(0, 8), "81ca0042");
  EXPECT_EQ(packet.substr(16, 4), "01ff");
  EXPECT_EQ(packet.substr(2 * 265), "000000");
}

TEST(RtpErrors, Texts) {
  EXPECT_STREQ(RTPStrError(0), "No error");
  EXPECT_STREQ(RTPStrError(0x0300010B), "Invalid address specified");
  EXPECT_STREQ(RTPStrError(0x03000122), "Don't send this packet now");
  EXPECT_STREQ(RTPStrError(0x0300010D), "Unknown RTP Error 50331917");
  errno = ENOENT;
  const RtpErr error(7);
  errno = 0;
  std::ostringstream text;
  error.Put(text);
  EXPECT_EQ(text.str(), "No such file or directory");
}

}  // namespace
