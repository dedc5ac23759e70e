// Commands per second, latency and server CPU per command of the controller
// link, measured against a running server over loopback (start one with `make
// run`): ping, and cycles of create, create, connect, disconnect, destroy,
// destroy of two trunk slots. The floor beside them is a bare TPKT echo over
// the same socket path (the server's acceptor, stream and TPKT layers), run in
// a child process. Server CPU is read from /proc/<pid>/stat, so it holds on a
// busy machine where rates do not; it is left out without --pid. For the floor
// it is the echo child's own.
//
//   ControllerLinkBench [--port N] [--count N] [--pid N]
#include "asn1/CoderEnv.h"
#include "bench/Arguments.h"
#include "runtime/loop/Multiplexer.h"
#include "runtime/transport/ControlAcceptorNet.h"
#include "schemas/LGCP.h"
#include "tests/support/FreePort.h"
#include "tests/support/NumberedMessage.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

// The controller side: a blocking TCP client that frames in TPKT (RFC 1006).
class Link {
 public:
  ~Link() {
    if (fd_ >= 0) {
      close(fd_);
    }
  }
  bool Connect(uint16_t port) {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int on = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }
  bool Send(const Bytes& payload) {
    const size_t length = payload.size() + 4;
    Bytes frame = {3, 0, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)};
    frame.insert(frame.end(), payload.begin(), payload.end());
    return send(fd_, frame.data(), frame.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(frame.size());
  }
  std::optional<Bytes> Receive() {
    Bytes header(4);
    if (!ReadAll(header) || header[0] != 3) {
      return std::nullopt;
    }
    Bytes payload((static_cast<size_t>(header[2]) << 8 | header[3]) - 4);
    if (!ReadAll(payload)) {
      return std::nullopt;
    }
    return payload;
  }

 private:
  bool ReadAll(Bytes& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
      ssize_t count = recv(fd_, bytes.data() + done, bytes.size() - done, 0);
      if (count <= 0) {
        return false;
      }
      done += static_cast<size_t>(count);
    }
    return true;
  }

  int fd_ = -1;
};

Bytes Encode(const LGCP::Message& message) {
  ASN1::CoderEnv env(ASN1::CoderEnv::per_Aligned);
  std::vector<char> bytes;
  if (!ASN1::encode(message, &env, std::back_inserter(bytes))) {
    std::cerr << "encode failed" << std::endl;
  }
  return Bytes(bytes.begin(), bytes.end());
}

LGCP::Message Command(int seq, std::optional<unsigned> slot) {
  LGCP::Message message = test_support::NumberedMessage(seq, slot);
  message.get_pdu().select_command();
  return message;
}

// Sends the command and reads until its answer, skipping signals; false on a
// failed answer or a lost link.
bool Execute(Link& link, const LGCP::Message& command) {
  if (!link.Send(Encode(command))) {
    return false;
  }
  for (;;) {
    std::optional<Bytes> payload = link.Receive();
    if (!payload) {
      return false;
    }
    LGCP::Message answer;
    ASN1::CoderEnv env(ASN1::CoderEnv::per_Aligned);
    const char* begin = reinterpret_cast<const char*>(payload->data());
    if (!ASN1::decode(begin, begin + payload->size(), &env, answer, true)) {
      return false;
    }
    if (!answer.get_pdu().is_response() || !answer.has_seq() ||
        answer.get_seq().getValue() != command.get_seq().getValue()) {
      continue;
    }
    return answer.get_pdu().get_response().is_success();
  }
}

// User plus system CPU of a process in seconds; nothing when it cannot be read.
std::optional<double> CpuSeconds(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  // The command name may hold blanks; the fields after it are plain: state is
  // the third field, utime and stime the 14th and 15th.
  const size_t name_end = text.rfind(')');
  if (name_end == std::string::npos) {
    return std::nullopt;
  }
  std::istringstream fields(text.substr(name_end + 1));
  std::string field;
  unsigned long long utime = 0;
  unsigned long long stime = 0;
  for (int number = 3; number <= 15 && fields >> field; ++number) {
    if (number == 14) {
      utime = std::strtoull(field.c_str(), nullptr, 10);
    }
    if (number == 15) {
      stime = std::strtoull(field.c_str(), nullptr, 10);
      return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
    }
  }
  return std::nullopt;
}

struct Result {
  const char* name;
  int commands_per_round;
  std::vector<double> latencies_us;
  double seconds = 0;
  std::optional<double> cpu_seconds;
};

// Runs count rounds, timing each and, when pid is given, measuring its CPU;
// false as soon as a round fails.
bool TimeRounds(Result& result, int count, std::optional<pid_t> pid, const std::function<bool(int)>& round) {
  const std::optional<double> cpu_start = pid ? CpuSeconds(*pid) : std::nullopt;
  const Clock::time_point start = Clock::now();
  for (int i = 0; i < count; ++i) {
    const Clock::time_point begin = Clock::now();
    if (!round(i)) {
      std::cerr << result.name << ": round " << i << " failed" << std::endl;
      return false;
    }
    result.latencies_us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - begin).count());
  }
  result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  const std::optional<double> cpu_end = pid ? CpuSeconds(*pid) : std::nullopt;
  if (cpu_start && cpu_end) {
    result.cpu_seconds = *cpu_end - *cpu_start;
  }
  return true;
}

void Report(Result& result) {
  std::vector<double>& l = result.latencies_us;
  if (l.empty()) {
    return;
  }
  std::sort(l.begin(), l.end());
  const double commands = static_cast<double>(l.size()) * result.commands_per_round;
  std::printf("%-34s %12.0f %15.1f %15.1f", result.name, commands / result.seconds, l[l.size() / 2],
              l[std::min(l.size() - 1, l.size() * 99 / 100)]);
  if (result.cpu_seconds) {
    std::printf(" %17.1f\n", *result.cpu_seconds * 1e6 / commands);
  } else {
    std::printf(" %17s\n", "-");
  }
}

// The floor: the acceptor, stream and TPKT layers of the server, echoing.
class Echo : public Control::Notify {
 public:
  explicit Echo(Control::Service& service) : service_(service) {}
  void OnConnect() override {}
  void OnDisconnect() override {}
  void OnMessage(const char* data, int len) override { service_.Send(data, len); }

 private:
  Control::Service& service_;
};

// Runs the echo server in a child; its pid once it listens, -1 on failure.
pid_t StartEcho(uint16_t port) {
  int ready[2];
  if (pipe(ready) != 0) {
    return -1;
  }
  pid_t pid = fork();
  if (pid == 0) {
    close(ready[0]);
    Control::AcceptorNet acceptor(port, false);
    Echo echo(acceptor);
    acceptor.Bind(&echo);
    if (!acceptor.Activate()) {
      _exit(1);
    }
    (void)!write(ready[1], "r", 1);
    multiplexer.run(false, true);
    _exit(0);
  }
  close(ready[1]);
  char byte;
  const bool listening = pid > 0 && read(ready[0], &byte, 1) == 1;
  close(ready[0]);
  return listening ? pid : -1;
}

}  // namespace

int main(int argc, char** argv) {
  uint16_t port = 20001;
  // Enough commands that the floor's CPU spans many clock ticks of /proc.
  int count = 50000;
  std::optional<pid_t> server_pid;
  for (int i = 1; i < argc; i += 2) {
    const std::string option = argv[i];
    std::optional<int> value = i + 1 < argc ? bench::Number(argv[i + 1]) : std::nullopt;
    const bool help = option == "--help" || option == "-h";
    if (help || !value || (option != "--port" && option != "--count" && option != "--pid")) {
      (help ? std::cout : std::cerr) << "usage: " << argv[0] << " [--port N] [--count N] [--pid N]" << std::endl;
      return help ? 0 : 2;
    }
    if (option == "--port") {
      port = static_cast<uint16_t>(*value);
    } else if (option == "--count") {
      count = *value;
    } else {
      server_pid = *value;
    }
  }

  std::printf(
      "rounds of one command (ping) or six (trunk slot cycle); commands/s and cpu per command, latencies "
      "per round; the floor's cpu is the echo child's own\n");
  std::printf("%-34s %12s %15s %15s %17s\n", "", "commands/s", "median us/round", "p99 us/round", "server cpu us/cmd");
  const uint16_t echo_port = test_support::FreePort();
  pid_t echo_pid = StartEcho(echo_port);
  Link echo;
  if (echo_pid < 0 || !echo.Connect(echo_port)) {
    std::cerr << "the echo floor did not start on port " << echo_port << std::endl;
    return 1;
  }
  const Bytes ping = Encode([] {
    LGCP::Message message = Command(1, std::nullopt);
    message.get_pdu().get_command().select_ping();
    return message;
  }());
  Result floor{"tpkt echo (floor)", 1, {}, 0, {}};
  bool ok = TimeRounds(floor, count, echo_pid, [&](int) { return echo.Send(ping) && echo.Receive().has_value(); });
  kill(echo_pid, SIGKILL);
  waitpid(echo_pid, nullptr, 0);
  Report(floor);

  Link server;
  if (!ok || !server.Connect(port)) {
    std::cerr << "no server on port " << port << " (start one with make run)" << std::endl;
    return 1;
  }
  Result pings{"ping", 1, {}, 0, {}};
  ok = TimeRounds(pings, count, server_pid, [&](int i) {
    LGCP::Message message = Command(i, std::nullopt);
    message.get_pdu().get_command().select_ping();
    return Execute(server, message);
  });
  Report(pings);

  // Per cycle: create 10 and 11 on trunk 0, connect 10 to 11, disconnect 11, destroy both.
  Result cycles{"trunk slot cycle (6 commands)", 6, {}, 0, {}};
  ok = ok && TimeRounds(cycles, count / 6 + 1, server_pid, [&](int i) {
         int seq = i * 6;
         auto create = [&](unsigned slot, int timeslot) {
           LGCP::Message message = Command(++seq, slot);
           LGCP::TrunkParams& params = message.get_pdu().get_command().select_create().select_trunk();
           params.set_trunk(0);
           params.set_timeslot(timeslot);
           return Execute(server, message);
         };
         auto simple = [&](unsigned slot, const std::function<void(LGCP::Command&)>& select) {
           LGCP::Message message = Command(++seq, slot);
           select(message.get_pdu().get_command());
           return Execute(server, message);
         };
         return create(10, 10) && create(11, 11) && simple(10, [](LGCP::Command& c) { c.select_connect() = 11; }) &&
                simple(11, [](LGCP::Command& c) { c.select_disconnect(); }) &&
                simple(10, [](LGCP::Command& c) { c.select_destroy(); }) &&
                simple(11, [](LGCP::Command& c) { c.select_destroy(); });
       });
  Report(cycles);
  return ok ? 0 : 1;
}
