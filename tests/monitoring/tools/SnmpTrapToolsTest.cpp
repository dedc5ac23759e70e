// Traps built by the trap builder, read by two decoders that are not ours:
// Debian's snmptrapd receives them over UDP, and tshark decodes the same bytes
// from a capture file.

#include "monitoring/trap/SnmpTrap.h"

#include "tests/support/FreePort.h"
#include "tests/support/Pcap.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int kWaitMs = 10000;

// snmptrapd in the foreground on a loopback port, with a configuration of its
// own, logging to a pipe that the test reads; stopped by its pid.
class TrapReceiver {
 public:
  TrapReceiver(const std::string& folder, uint16_t port) {
    const std::string config = folder + "/snmptrapd.conf";
    std::ofstream(config) << "authCommunity log public\n";
    int pipe_fds[2];
    if (pipe2(pipe_fds, O_CLOEXEC) != 0) {
      return;
    }
    pid_ = fork();
    if (pid_ == 0) {
      dup2(pipe_fds[1], STDOUT_FILENO);
      dup2(pipe_fds[1], STDERR_FILENO);
      setenv("SNMP_PERSISTENT_DIR", folder.c_str(), 1);
      const std::string endpoint = "udp:127.0.0.1:" + std::to_string(port);
      execl("/usr/sbin/snmptrapd", "snmptrapd", "-f", "-C", "-c", config.c_str(), "-Lo", "-On", "-m", "", "-n",
            endpoint.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    close(pipe_fds[1]);
    output_fd_ = pipe_fds[0];
  }
  ~TrapReceiver() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
    if (output_fd_ >= 0) {
      close(output_fd_);
    }
  }

  // Reads the log until it holds text; false when snmptrapd stays silent
  // for kWaitMs first.
  bool WaitFor(const std::string& text) {
    while (output_.find(text) == std::string::npos) {
      pollfd readable{output_fd_, POLLIN, 0};
      char chunk[4096];
      const ssize_t n = poll(&readable, 1, kWaitMs) == 1 ? read(output_fd_, chunk, sizeof chunk) : 0;
      if (n <= 0) {
        return false;
      }
      output_.append(chunk, static_cast<size_t>(n));
    }
    return true;
  }
  const std::string& output() const { return output_; }

 private:
  pid_t pid_ = -1;
  int output_fd_ = -1;
  std::string output_;
};

struct Binding {
  std::string name;
  uint8_t type;
  Bytes value;
  // How snmptrapd writes the binding.
  std::string logged;
};

Bytes Le32(uint32_t value) {
  Bytes bytes(4);
  std::memcpy(bytes.data(), &value, 4);
  return bytes;
}

Bytes OidValue(const char* text) {
  uint32_t arcs[32];
  const int count = parse_oid(arcs, 32, text);
  Bytes bytes(static_cast<size_t>(count) * 4);
  std::memcpy(bytes.data(), arcs, bytes.size());
  return bytes;
}

const std::vector<Binding>& Bindings() {
  static const std::vector<Binding> bindings = {
      {"1.3.6.1.2.1.1.3.0", 0x43, Le32(4200), ".1.3.6.1.2.1.1.3.0 = Timeticks: (4200) 0:00:42.00"},
      {"1.3.6.1.6.3.1.1.4.1.0", 0x06, OidValue("1.3.6.1.4.1.99999.0.1"),
       ".1.3.6.1.6.3.1.1.4.1.0 = OID: .1.3.6.1.4.1.99999.0.1"},
      {"1.3.6.1.4.1.99999.1", 0x02, Le32(static_cast<uint32_t>(-5)), ".1.3.6.1.4.1.99999.1 = INTEGER: -5"},
      {"1.3.6.1.4.1.99999.2", 0x04, Bytes{'h', 'e', 'l', 'l', 'o'}, ".1.3.6.1.4.1.99999.2 = STRING: \"hello\""},
      {"1.3.6.1.4.1.99999.3", 0x40, Bytes{10, 0, 0, 1}, ".1.3.6.1.4.1.99999.3 = IpAddress: 10.0.0.1"},
      {"1.3.6.1.4.1.99999.4", 0x41, Le32(4000000000u), ".1.3.6.1.4.1.99999.4 = Counter32: 4000000000"},
      {"1.3.6.1.4.1.99999.5", 0x42, Le32(7), ".1.3.6.1.4.1.99999.5 = Gauge32: 7"},
      {"1.3.6.1.4.1.99999.6", 0x05, Bytes{}, ".1.3.6.1.4.1.99999.6 = NULL"},
      {"1.3.6.1.4.1.99999.7", 0x44, Bytes{0x04, 0x01, 0x41}, ".1.3.6.1.4.1.99999.7 = OPAQUE: 04 01 41"},
      {"1.3.6.1.4.1.99999.8", 0x47, Le32(4294967295u), ".1.3.6.1.4.1.99999.8 = 4294967295"},
      {"1.3.6.1.4.1.99999.9", 0x03, Bytes{0x00, 0xA0}, ".1.3.6.1.4.1.99999.9 = BITS: 00 A0"},
      // snmptrapd has no printer for NsapAddress; tshark shows the value.
      {"1.3.6.1.4.1.99999.10", 0x45, Bytes{0x47, 0x00}, ".1.3.6.1.4.1.99999.10 = "},
  };
  return bindings;
}

Bytes BuildTrap() {
  TrapContext context;
  snmp_session_seed(&context, 7);
  trap_init(&context, "public");
  EXPECT_EQ(trap_pack_begin(&context), 0);
  for (const Binding& binding : Bindings()) {
    uint32_t name[32];
    const int count = parse_oid(name, 32, binding.name.c_str());
    EXPECT_EQ(trap_pack_add(&context, name, static_cast<size_t>(count), binding.type, binding.value.data(),
                            binding.value.size()),
              0)
        << binding.name;
  }
  EXPECT_EQ(trap_pack_end(&context), 0);
  return Bytes(context.buffer, context.buffer + context.length);
}

TEST(SnmpTrapTools, SnmptrapdLogsEveryBinding) {
  if (access("/usr/sbin/snmptrapd", X_OK) != 0) {
    GTEST_SKIP() << "snmptrapd is not installed";
  }
  TempDir folder("snmp-trap");
  const uint16_t port = test_support::FreePort(SOCK_DGRAM);
  ASSERT_NE(port, 0);
  TrapReceiver receiver(folder.path(), port);
  ASSERT_TRUE(receiver.WaitFor("NET-SNMP version")) << receiver.output();

  const Bytes trap = BuildTrap();
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  EXPECT_EQ(sendto(fd, trap.data(), trap.size(), 0, reinterpret_cast<sockaddr*>(&address), sizeof address),
            static_cast<ssize_t>(trap.size()));
  close(fd);

  ASSERT_TRUE(receiver.WaitFor(Bindings().back().logged)) << receiver.output();
  for (const Binding& binding : Bindings()) {
    EXPECT_NE(receiver.output().find(binding.logged), std::string::npos) << binding.logged;
  }
}

// One UDP datagram from port 40000 to the trap port 162 over IPv4, with the
// header checksum and without a UDP checksum, which IPv4 allows.
Bytes Datagram(const Bytes& payload) {
  const size_t total = 28 + payload.size();
  Bytes packet = {0x45,
                  0x00,
                  static_cast<uint8_t>(total >> 8),
                  static_cast<uint8_t>(total),
                  0,
                  1,
                  0,
                  0,
                  64,
                  17,
                  0,
                  0,
                  127,
                  0,
                  0,
                  1,
                  127,
                  0,
                  0,
                  1};
  uint32_t sum = 0;
  for (size_t i = 0; i < packet.size(); i += 2) {
    sum += static_cast<uint32_t>(packet[i] << 8 | packet[i + 1]);
  }
  sum = ~((sum & 0xFFFF) + (sum >> 16)) & 0xFFFF;
  packet[10] = static_cast<uint8_t>(sum >> 8);
  packet[11] = static_cast<uint8_t>(sum);
  const size_t udp_length = total - 20;
  const Bytes udp = {0x9C, 0x40, 0x00, 0xA2, static_cast<uint8_t>(udp_length >> 8), static_cast<uint8_t>(udp_length),
                     0,    0};
  packet.insert(packet.end(), udp.begin(), udp.end());
  packet.insert(packet.end(), payload.begin(), payload.end());
  return packet;
}

TEST(SnmpTrapTools, TsharkFindsNothingMalformed) {
  if (!test_support::HaveTshark()) {
    GTEST_SKIP() << "tshark is not installed";
  }
  TempDir folder("snmp-trap");
  const std::string capture = folder.path() + "/trap.pcap";
  constexpr uint32_t kLinkTypeRawIp = 101;
  ASSERT_TRUE(test_support::WritePcap(capture, kLinkTypeRawIp, {}, {{0, Datagram(BuildTrap())}}));
  const std::optional<std::string> decoded = test_support::RunTshark({"-n", "-r", capture, "-V"});
  ASSERT_TRUE(decoded.has_value());
  for (const char* text : {"community: public", "snmpV2-trap", "variable-bindings: 12 items", "Value (NSAP): 18176"}) {
    EXPECT_NE(decoded->find(text), std::string::npos) << text << "\n" << *decoded;
  }
  EXPECT_EQ(decoded->find("Malformed"), std::string::npos) << *decoded;
  EXPECT_EQ(decoded->find("Expert Info"), std::string::npos) << *decoded;
}

}  // namespace
