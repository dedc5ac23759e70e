#include "runtime/net/INet4.h"

#include <gtest/gtest.h>

#include <optional>
#include <sstream>

namespace {

TEST(INet4Addr, AssignAcceptsOnlyWholeAddressesAndPorts) {
  const struct {
    const char* text;
    bool ok;
    std::optional<int> port_out;  // nullopt: left untouched
    std::string stored;           // address and port after the call
  } kCases[] = {
      {"10.1.2.3:5060", true, 5060, "10.1.2.3:5060"},
      {"10.1.2.3", true, -1, "10.1.2.3:99"},
      {"10.1.2.3:0", true, 0, "10.1.2.3:0"},
      {"10.1.2.3:65535", true, 65535, "10.1.2.3:65535"},
      {"10.1.2.3:65536", false, std::nullopt, "1.1.1.1:99"},
      {"10.0.0.1:70000", false, std::nullopt, "1.1.1.1:99"},
      {"10.1.2.3:80x", false, std::nullopt, "1.1.1.1:99"},
      {"10.1.2.3:-1", false, std::nullopt, "1.1.1.1:99"},
      {"10.1.2.3:+80", false, std::nullopt, "1.1.1.1:99"},
      {"10.1.2.3:", false, std::nullopt, "1.1.1.1:99"},
      {"host:80", false, std::nullopt, "1.1.1.1:99"},
      {"x:80", false, std::nullopt, "1.1.1.1:99"},
      {"nonsense", false, -1, "1.1.1.1:99"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.text);
    INet4::Addr addr;
    ASSERT_TRUE(addr.Assign("1.1.1.1:99"));
    int port = 12345;
    EXPECT_EQ(addr.Assign(c.text, &port), c.ok);
    EXPECT_EQ(port, c.port_out.value_or(12345));
    EXPECT_EQ(addr.GetString(), c.stored);
  }
}

}  // namespace
