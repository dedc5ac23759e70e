// The README shows a newcomer one whole exchange on the controller link, in
// hex; the server must answer those very bytes with the bytes shown.

#include "tests/e2e/GatewayFixture.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace e2e {
namespace {

// The octets of a line that is nothing but hex pairs and spaces; none otherwise.
Bytes HexOctets(const std::string& text) {
  std::istringstream words(text);
  Bytes octets;
  for (std::string word; words >> word;) {
    if (word.size() != 2 || word.find_first_not_of("0123456789abcdef") != std::string::npos) {
      return {};
    }
    octets.push_back(static_cast<uint8_t>(std::stoul(word, nullptr, 16)));
  }
  return octets;
}

// The bytes of the README's one indented line "<who>  <hex octets>".
Bytes ReadmeOctets(const std::string& who) {
  const std::string head = "    " + who + " ";
  std::istringstream readme(ReadFile(README_PATH));
  Bytes octets;
  int found = 0;
  for (std::string text; std::getline(readme, text);) {
    Bytes line;
    if (text.rfind(head, 0) != 0 || (line = HexOctets(text.substr(head.size()))).empty()) {
      continue;
    }
    ++found;
    octets = line;
  }
  EXPECT_EQ(found, 1) << "lines of " << who;
  return octets;
}

using ReadmeExchangeTest = GatewayFixture;

TEST_F(ReadmeExchangeTest, ThePingShownIsAnsweredWithTheBytesShown) {
  const Bytes ping = ReadmeOctets("controller");
  const Bytes answer = ReadmeOctets("server");
  ASSERT_GE(ping.size(), 4u);
  ASSERT_TRUE(controller_.SendBytes(ping));
  const std::optional<Bytes> payload = controller_.ReadPayload();
  ASSERT_TRUE(payload.has_value());
  EXPECT_EQ(test_support::TpktFrame(*payload), answer);
}

}  // namespace
}  // namespace e2e
