#include "runtime/net/CDR_Sender.h"

#include "tests/support/ControlLoop.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>

#include <string>

namespace {

// A UDP socket on a free loopback port, standing for a CDR collector.
struct Collector {
  Collector() {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(bind(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  }
  std::string Address() const { return "127.0.0.1:" + std::to_string(control_test::LocalPort(fd.get())); }
  // The next datagram whole (MSG_TRUNC gives its real size), or "none" when nothing waits.
  std::string Next() const {
    char buffer[256];
    const ssize_t n = recv(fd.get(), buffer, sizeof buffer, MSG_DONTWAIT | MSG_TRUNC);
    return n < 0 ? "none" : std::string(buffer, static_cast<size_t>(n));
  }
  Fd fd{socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)};
};

TEST(CDR_Sender, SendsTheRecordToEveryGoodAddress) {
  Collector first, second;
  const std::string both = first.Address() + " \t\n " + second.Address();
  const struct {
    const char* name;
    std::string addresses;
    bool all_sent;
    const char* first_gets;
    const char* error;
  } kCases[] = {
      {"two collectors", both, true, "CDR 1;", ""},
      {"empty list", "", true, "none", ""},
      {"blank list", " \t\n", true, "none", ""},
      {"a malformed word skips only itself", "host.example " + second.Address(), false, "none",
       "CDR: bad address \"host.example\", record not sent there.\n"},
      {"no port means port 0, which the kernel refuses", "127.0.0.1 " + both, false, "CDR 1;",
       "CDR: send to 127.0.0.1:0 failed: Invalid argument\n"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    control_test::Logs logs;
    CDR_Sender::Sender sender;
    // Next sees the datagram's real size: no terminating NUL may travel.
    EXPECT_EQ(sender.SendTo("CDR 1;", c.addresses), c.all_sent);
    EXPECT_EQ(first.Next(), c.first_gets);
    const bool second_named = c.addresses.find(second.Address()) != std::string::npos;
    EXPECT_EQ(second.Next(), second_named ? "CDR 1;" : "none");
    EXPECT_EQ(first.Next(), "none");
    EXPECT_EQ(logs.Err(), c.error);
  }
}

}  // namespace
