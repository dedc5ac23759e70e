// The whole channel pool through the server binary, driven over loopback as a
// controller drives it, on a simulated board of the server's own (a fresh board
// root per run; the server inherits this program's open-files limits):
//   creates  slots of one kind (RTP, ED-137 radio, LEMZ radio) created one by
//            one up to 1,024 live: the loop's CPU per create at 128, 512 and
//            1,024 live (median of the 16 creates that reach that count) and
//            the longest single create;
//   memory   1,024 radios, ED-137 and LEMZ by turns, through N simulated
//            minutes, the clock stepped a second at a time through the board's
//            control socket: the server's resident size over that time;
//   idle     1,000 idle mixed slots (120 trunk timeslots, then RTP, ED-137 and
//            LEMZ by turns) for S seconds: the loop's CPU in % of a core and,
//            where perf is installed, the share of its samples that are in the
//            simulated board.
// The loop's CPU is its thread's task clock (perf_event_open), so it holds on
// a busy machine where wall times do not. Each create is timed together with
// a ping sent after its answer, so the signals and the hook that follow the
// answer count too; the ping column is what a ping alone costs.
//
//   SlotScaleBench [--phase creates|memory|idle]... [--minutes N] [--idle-seconds N]
//                  [--port N] [--udp-base N]
// --port: the server's controller port (a free one by default); --udp-base: the
// first of the slots' local RTP ports (30000 by default; 2,048 ports from
// there, each RTCP on the next), so that runs side by side do not collide.
#include "bench/Arguments.h"
#include "tests/e2e/Controller.h"
#include "tests/e2e/ServerProcess.h"
#include "tests/e2e/SimBoard.h"
#include "tests/support/LemzGolden.h"

#include <fcntl.h>
#include <linux/perf_event.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

using e2e::Controller;
using e2e::ServerProcess;
using e2e::SimBoard;

constexpr unsigned kSlots = 1024;
constexpr unsigned kWindow = 16;
constexpr unsigned kLiveMarks[] = {128, 512, 1024};
constexpr unsigned kIdleSlots = 1000;
constexpr int kTrunks = 4;
constexpr int kTimeslotsPerTrunk = 30;
// Local RTP ports, two per slot (RTCP on the next): below the kernel's ephemeral range.
constexpr int kFirstLocalPort = 30000;
constexpr int kLastPort = 65535;
constexpr uint16_t kFarEndPort = 29000;
constexpr int kPings = 200;

enum class Kind { kRtp, kEd137, kLemz };

const char* NameOf(Kind kind) {
  switch (kind) {
    case Kind::kRtp:
      return "rtp";
    case Kind::kEd137:
      return "ed-137 radio";
    case Kind::kLemz:
      return "lemz radio";
  }
  return "?";
}

// The CPU time of the server's loop thread, to the nanosecond: the kernel's
// task clock of that thread (the run time in /proc/<pid>/task/<tid>/schedstat
// lags by up to a scheduler tick while the thread runs or has just slept).
class LoopClock {
 public:
  ~LoopClock() {
    if (fd_ >= 0) {
      close(fd_);
    }
  }
  bool Open(pid_t thread) {
    perf_event_attr attr{};
    attr.type = PERF_TYPE_SOFTWARE;
    attr.size = sizeof attr;
    attr.config = PERF_COUNT_SW_TASK_CLOCK;
    fd_ = static_cast<int>(syscall(SYS_perf_event_open, &attr, thread, -1, -1, PERF_FLAG_FD_CLOEXEC));
    return fd_ >= 0;
  }
  uint64_t Ns() const {
    uint64_t ns = 0;
    return read(fd_, &ns, sizeof ns) == static_cast<ssize_t>(sizeof ns) ? ns : 0;
  }

 private:
  int fd_ = -1;
};

// The server's resident size in kB; 0 when unreadable.
long ResidentKb(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("VmRSS:", 0) == 0) {
      return std::strtol(line.c_str() + 6, nullptr, 10);
    }
  }
  return 0;
}

double Median(std::vector<double> values) {
  if (values.empty()) {
    return 0;
  }
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Where a run's server listens.
struct Ports {
  std::optional<uint16_t> control;  // a free one when not given
  int rtp_base = kFirstLocalPort;
};

LGCP::Message ChannelCreate(unsigned slot, Kind kind, const Ports& ports) {
  return e2e::Command(std::nullopt, slot, [&](LGCP::Command& command) {
    LGCP::CreateRtpParams& create = command.select_create().select_rtp();
    TERM::RtpParams& rtp = create.get_codecRTP();
    rtp.set_payload(TERM::Payload::ptG711_Alaw);
    rtp.get_dhost().set_iaddr("127.0.0.1");
    rtp.get_dhost().get_port().setValue(kFarEndPort);
    rtp.include_shost().set_iaddr("127.0.0.1");
    rtp.get_shost().get_port().setValue(ports.rtp_base + 2 * static_cast<int>(slot));
    create.set_txPayload(TERM::Payload::ptG711_Alaw);
    create.set_rxPayload(TERM::Payload::ptG711_Alaw);
    if (kind == Kind::kLemz) {
      (void)rtp.include_radio().get_status().setFromValueNotation(std::string("lemz : ") + test::kLemzCreateStatus);
    }
    if (kind == Kind::kEd137) {
      TERM::ED137RadioStatus& status = rtp.include_radio().get_status().select_ed_137();
      status.get_header().set_squ(TERM::ED137RadioSQU::squ_on);
      TERM::ED137RadioResponse& response = status.include_radio_response();
      response.set_type(TERM::ED137RadioType::radio_txrx);
      response.set_txrxmode(TERM::ED137RadioTxRxMode::txrx);
    }
  });
}

// A served server on a fresh board root with one connected controller.
class Gateway {
 public:
  explicit Gateway(const Ports& ports) : ports_(ports) {}
  bool Start() {
    if (ports_.control) {
      server_.set_port(*ports_.control);
    }
    if (!server_.StartServing() || !controller_.Connect() || !controller_.Sync()) {
      std::cerr << "the server did not start:\n" << server_.output() << std::endl;
      return false;
    }
    if (!loop_clock_.Open(server_.pid())) {
      std::cerr << "the loop's task clock cannot be read: perf_event_open: " << std::strerror(errno) << std::endl;
      return false;
    }
    return true;
  }
  ~Gateway() {
    if (server_.running()) {
      server_.Signal(SIGTERM);
      (void)server_.WaitExitCode();
    }
  }

  pid_t pid() const { return server_.pid(); }
  uint64_t LoopCpuNs() const { return loop_clock_.Ns(); }
  ServerProcess& server() { return server_; }

  // Sends the command and reads up to its answer, skipping signals; the answer
  // as e2e::Describe words it.
  std::string Execute(LGCP::Message message) {
    const int seq = ++seq_;
    message.include_seq().setValue(seq);
    if (!controller_.Send(message)) {
      return "not sent";
    }
    for (;;) {
      std::optional<e2e::Bytes> payload = controller_.ReadPayload();
      LGCP::Message answer;
      if (!payload || !test_support::Decode(*payload, answer)) {
        return "no answer";
      }
      if (answer.has_seq() && answer.get_seq().getValue() == seq) {
        return e2e::Describe(answer);
      }
    }
  }
  bool Ping() { return Execute(e2e::Ping()) == "success"; }
  // The create, then a ping: false when the create failed.
  bool Create(const LGCP::Message& create) { return Execute(create) == "success" && Ping(); }
  bool CreateChannel(unsigned slot, Kind kind) { return Create(ChannelCreate(slot, kind, ports_)); }
  std::string Ask(const std::string& command) { return board_.Ask(command); }

 private:
  const Ports ports_;
  ServerProcess server_;
  Controller controller_{server_};
  SimBoard board_{server_};
  LoopClock loop_clock_;
  int seq_ = 0;
};

// The loop's CPU of one ping, median over many, in microseconds; nothing
// when a ping goes unanswered.
std::optional<double> PingCpuUs(Gateway& gateway) {
  std::vector<double> samples;
  for (int i = 0; i < kPings; ++i) {
    const uint64_t before = gateway.LoopCpuNs();
    if (!gateway.Ping()) {
      return std::nullopt;
    }
    samples.push_back(static_cast<double>(gateway.LoopCpuNs() - before) / 1e3);
  }
  return Median(samples);
}

bool RunCreates(Kind kind, const Ports& ports) {
  Gateway gateway(ports);
  if (!gateway.Start()) {
    return false;
  }
  const std::optional<double> ping_us = PingCpuUs(gateway);
  if (!ping_us) {
    std::printf("%-14s ping not answered\n", NameOf(kind));
    return false;
  }
  std::vector<double> create_us;
  for (unsigned slot = 0; slot < kSlots; ++slot) {
    const uint64_t before = gateway.LoopCpuNs();
    if (!gateway.CreateChannel(slot, kind)) {
      std::printf("%-14s refused at %u live\n", NameOf(kind), slot);
      return false;
    }
    create_us.push_back(static_cast<double>(gateway.LoopCpuNs() - before) / 1e3);
  }
  std::printf("%-14s %10.1f", NameOf(kind), *ping_us);
  std::vector<double> at_marks;
  for (unsigned live : kLiveMarks) {
    at_marks.push_back(Median(std::vector<double>(create_us.begin() + live - kWindow, create_us.begin() + live)));
    std::printf(" %10.1f", at_marks.back());
  }
  std::printf(" %10.2f %12.2f\n", at_marks.back() / at_marks.front(),
              *std::max_element(create_us.begin(), create_us.end()) / 1e3);
  return true;
}

double Megabytes(long kb) {
  return static_cast<double>(kb) / 1024;
}

bool RunMemory(int minutes, const Ports& ports) {
  Gateway gateway(ports);
  if (!gateway.Start()) {
    return false;
  }
  for (unsigned slot = 0; slot < kSlots; ++slot) {
    if (!gateway.CreateChannel(slot, slot % 2 == 0 ? Kind::kEd137 : Kind::kLemz)) {
      std::printf("memory: radio refused at %u live\n", slot);
      return false;
    }
  }
  const long start = ResidentKb(gateway.pid());
  long highest = start;
  std::printf("memory: %u radios, RSS by simulated minute (MB): %.1f", kSlots, Megabytes(start));
  for (int minute = 1; minute <= minutes; ++minute) {
    for (int second = 0; second < 60; ++second) {
      // The ping's answer comes after the loop has run the timers of the new time.
      if (gateway.Ask("clock advance 1000") != "ok" || !gateway.Ping()) {
        std::printf("\nmemory: the clock did not move\n");
        return false;
      }
      highest = std::max(highest, ResidentKb(gateway.pid()));
    }
    std::printf(" %.1f", Megabytes(ResidentKb(gateway.pid())));
    std::fflush(stdout);
  }
  const long end = ResidentKb(gateway.pid());
  std::printf("\nmemory: %+.2f MB over %d simulated minutes, highest %.1f MB\n", Megabytes(end - start), minutes,
              Megabytes(highest));
  return true;
}

// perf's samples of the process over the seconds, each a call chain; nothing
// where perf is missing or fails.
class Profile {
 public:
  bool Start(pid_t pid, int seconds, const std::string& folder) {
    file_ = folder + "/perf.data";
    const std::string target = std::to_string(pid);
    const std::string duration = std::to_string(seconds);
    pid_ = fork();
    if (pid_ == 0) {
      // Quiet: its notes would mix with the table.
      const int null = open("/dev/null", O_WRONLY);
      dup2(null, STDOUT_FILENO);
      dup2(null, STDERR_FILENO);
      execlp("perf", "perf", "record", "-q", "-F", "1999", "--call-graph", "dwarf,16384", "-p", target.c_str(), "-o",
             file_.c_str(), "--", "sleep", duration.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    return pid_ > 0;
  }
  // The samples and those with a frame of the simulated board; nothing when
  // perf did not record.
  std::optional<std::pair<long, long>> Finish() {
    int status = 0;
    if (pid_ <= 0 || waitpid(pid_, &status, 0) != pid_ || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      return std::nullopt;
    }
    FILE* script = popen(("perf script -i " + file_ + " -F ip,sym 2>/dev/null").c_str(), "r");
    if (script == nullptr) {
      return std::nullopt;
    }
    // A blank line ends each sample's chain of frames.
    long samples = 0;
    long in_board = 0;
    bool frames = false;
    bool board = false;
    char line[4096];
    while (std::fgets(line, sizeof line, script) != nullptr) {
      if (line[std::strspn(line, " \t\n")] == '\0') {
        samples += frames ? 1 : 0;
        in_board += board ? 1 : 0;
        frames = board = false;
        continue;
      }
      frames = true;
      board = board || std::strstr(line, " sim::") != nullptr;
    }
    samples += frames ? 1 : 0;
    in_board += board ? 1 : 0;
    pclose(script);
    return std::make_pair(samples, in_board);
  }

 private:
  pid_t pid_ = -1;
  std::string file_;
};

bool RunIdle(int seconds, const Ports& ports) {
  Gateway gateway(ports);
  if (!gateway.Start()) {
    return false;
  }
  unsigned slot = 0;
  for (int trunk = 0; trunk < kTrunks; ++trunk) {
    for (int timeslot = 1; timeslot <= kTimeslotsPerTrunk + 1; ++timeslot) {
      // Timeslot 16 carries the trunk's signalling.
      if (timeslot != 16 && !gateway.Create(e2e::CreateTrunk(0, slot++, trunk, timeslot))) {
        std::printf("idle: trunk slot refused at %u live\n", slot - 1);
        return false;
      }
    }
  }
  const Kind kinds[] = {Kind::kRtp, Kind::kEd137, Kind::kLemz};
  for (unsigned i = 0; slot < kIdleSlots; ++i, ++slot) {
    if (!gateway.CreateChannel(slot, kinds[i % 3])) {
      std::printf("idle: %s refused at %u live\n", NameOf(kinds[i % 3]), slot);
      return false;
    }
  }
  Profile profile;
  const bool profiling = profile.Start(gateway.pid(), seconds, gateway.server().Path(""));
  const auto start = std::chrono::steady_clock::now();
  const uint64_t cpu_before = gateway.LoopCpuNs();
  while (std::chrono::steady_clock::now() - start < std::chrono::seconds(seconds)) {
    // Takes the radios' signals as a controller would.
    (void)gateway.server().Wait(-1, 0, 250);
    if (!gateway.Ping()) {
      std::printf("idle: the server stopped answering\n");
      return false;
    }
  }
  const double wall_ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
  const double loop_percent = static_cast<double>(gateway.LoopCpuNs() - cpu_before) * 100 / wall_ns;
  std::printf("idle: %u mixed slots for %d s: loop CPU %.2f %% of a core", kIdleSlots, seconds, loop_percent);
  const std::optional<std::pair<long, long>> samples = profiling ? profile.Finish() : std::nullopt;
  if (samples && samples->first > 0) {
    std::printf(", simulated board %.1f %% of %ld samples\n",
                100.0 * static_cast<double>(samples->second) / static_cast<double>(samples->first), samples->first);
  } else {
    std::printf(", simulated board share - (perf not available)\n");
  }
  return true;
}

int Usage(const char* program, int status) {
  (status == 0 ? std::cout : std::cerr) << "usage: " << program
                                        << " [--phase creates|memory|idle]... [--minutes N] [--idle-seconds N]"
                                           " [--port N] [--udp-base N]"
                                        << std::endl;
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  std::set<std::string> phases;
  int minutes = 10;
  int idle_seconds = 10;
  Ports ports;
  for (int i = 1; i < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--help" || option == "-h") {
      return Usage(argv[0], 0);
    }
    if (i + 1 >= argc) {
      return Usage(argv[0], 2);
    }
    const std::string value = argv[i + 1];
    const std::optional<int> number = bench::Number(argv[i + 1]);
    if (option == "--phase" && (value == "creates" || value == "memory" || value == "idle")) {
      phases.insert(value);
    } else if (option == "--minutes" && number) {
      minutes = *number;
    } else if (option == "--idle-seconds" && number) {
      idle_seconds = *number;
    } else if (option == "--port" && number && *number <= kLastPort) {
      ports.control = static_cast<uint16_t>(*number);
    } else if (option == "--udp-base" && number && *number + 2 * static_cast<int>(kSlots) - 1 <= kLastPort) {
      ports.rtp_base = *number;
    } else {
      return Usage(argv[0], 2);
    }
  }
  if (phases.empty()) {
    phases = {"creates", "memory", "idle"};
  }
  bool ok = true;
  if (phases.count("creates") != 0) {
    std::printf("creates: the loop's CPU in us per create (a ping after each included) at 128, 512 and 1,024 live\n");
    std::printf("%-14s %10s %10s %10s %10s %10s %12s\n", "kind", "ping", "@128", "@512", "@1024", "1024/128",
                "longest ms");
    for (Kind kind : {Kind::kRtp, Kind::kEd137, Kind::kLemz}) {
      ok = RunCreates(kind, ports) && ok;
    }
  }
  if (phases.count("memory") != 0) {
    ok = RunMemory(minutes, ports) && ok;
  }
  if (phases.count("idle") != 0) {
    ok = RunIdle(idle_seconds, ports) && ok;
  }
  return ok ? 0 : 1;
}
