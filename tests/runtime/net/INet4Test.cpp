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

TEST(INet4Addr, KeepsNetworkByteOrder) {
  INet4::Addr addr;
  ASSERT_TRUE(addr.Assign("10.20.30.40:258"));
  EXPECT_EQ(addr.GetVector(), (std::vector<uint8_t>{10, 20, 30, 40}));
  const auto* in = reinterpret_cast<const sockaddr_in*>(addr.GetSockAddr());
  const auto* port = reinterpret_cast<const uint8_t*>(&in->sin_port);
  EXPECT_EQ(port[0], 1);
  EXPECT_EQ(port[1], 2);
  EXPECT_EQ(in->sin_family, AF_INET);
}

TEST(INet4Addr, EqualityNeedsAddressAndPort) {
  INet4::Addr a;
  INet4::Addr b;
  ASSERT_TRUE(a.Assign("10.0.0.1:80"));
  ASSERT_TRUE(b.Assign("10.0.0.1:81"));
  EXPECT_FALSE(a.IsEqual(b));
  ASSERT_TRUE(b.Assign("10.0.0.1:80"));
  EXPECT_TRUE(a.IsEqual(b));
}

}  // namespace
