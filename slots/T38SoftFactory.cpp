#include "slots/T38SoftFactory.h"

#include "hardware/mcc_alloc_params.h"
#include "platform/BoardPath.h"
#include "platform/Device.h"
#include "runtime/log/Ext.h"
#include "runtime/net/Fd.h"
#include "slots/ChildProgram.h"
#include "slots/T38SoftSlot.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

namespace {

constexpr char kProgram[] = "/usr/local/sbin/t38";
// The program's argument list holds 31 entries before its null: 4 of ours, 27 of the controller's.
constexpr size_t kMaxArguments = 31;
// A child that ignores SIGTERM is killed this long after it.
constexpr unsigned kKillAfterMs = 5000;
// The resource query waits for the program's answer at most this long: the loop stands still meanwhile.
constexpr int kQueryTimeoutMs = 2000;
constexpr int kExecFailed = 1005;

std::vector<std::string> CommandLine(const LGCP::T38Soft& params) {
  char remote[128];
  std::snprintf(remote, sizeof remote, "%s/%d/%d", params.get_dhost().get_iaddr().c_str(),
                params.get_dhost().get_port().getValue(), params.get_shost().get_port().getValue());
  std::vector<std::string> arguments{kProgram, "--child", "--remote", remote};
  for (const ASN1::IA5String& argument : params.get_args()) {
    if (arguments.size() == kMaxArguments) {
      break;
    }
    arguments.push_back(argument);
  }
  return arguments;
}

int64_t MonotonicMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return int64_t{now.tv_sec} * 1000 + now.tv_nsec / 1000000;
}

// The first line the program writes, at most 31 characters; empty when it writes none. Nothing when it does not
// answer in time.
std::optional<std::string> ReadAnswer(int fd) {
  const int64_t deadline = MonotonicMs() + kQueryTimeoutMs;
  std::string line;
  for (;;) {
    const int64_t left = deadline - MonotonicMs();
    pollfd entry{fd, POLLIN, 0};
    const int ready = left > 0 ? poll(&entry, 1, static_cast<int>(left)) : 0;
    if (ready < 0 && errno == EINTR) {
      continue;
    }
    if (ready == 0) {
      return std::nullopt;
    }
    char chunk[32];
    const ssize_t n = ready < 0 ? -1 : read(fd, chunk, 31 - line.size());
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      return line;
    }
    line.append(chunk, static_cast<size_t>(n));
    const size_t end = line.find('\n');
    if (end != std::string::npos) {
      return line.substr(0, end);
    }
    if (line.size() == 31) {
      return line;
    }
  }
}

}  // namespace

T38SoftFactory& T38SoftFactory::instance() {
  static T38SoftFactory factory;
  return factory;
}

void T38SoftFactory::PutHeader(std::ostream& os) const {
  os << "t38soft: ";
}

std::unique_ptr<Slot> T38SoftFactory::INewSlot(const LGCP::CreateParams& params) {
  if (!params.is_t38soft()) {
    return nullptr;
  }
  const LGCP::T38Soft& t38 = params.get_t38soft();
  // The child reads its channel as a plain blocking descriptor.
  Fd fd(platform::Open(Mcc::kDevice, O_RDWR | O_CLOEXEC));
  if (!fd) {
    std::cerr << ext::header(this) << "T38SoftFactory::INewSlot - FAIL to open </dev/mcc/ctl> [" << errno << "]"
              << std::endl;
    return nullptr;
  }
  const mcc_alloc_params channel_params{mcc_alloc_params::kTransparent,
                                        static_cast<uint32_t>(t38.get_rx_packet_size().getValue()), 0,
                                        static_cast<uint32_t>(t38.get_rx_threshold().getValue()),
                                        static_cast<uint32_t>(t38.get_tx_threshold().getValue())};
  if (Mcc::Allocate(fd.get(), channel_params) < 0) {
    std::cerr << ext::header(this) << "T38SoftFactory::INewSlot - FAIL to ioctl MCC_ALLOCATE [" << errno << "]"
              << std::endl;
    return nullptr;
  }
  const int channel = Mcc::Timeslot(fd.get());
  if (channel < 0) {
    std::cerr << ext::header(this) << "T38SoftFactory::INewSlot - FAIL to ioctl MCC_TIMESLOT [" << errno << "]"
              << std::endl;
    return nullptr;
  }
  const std::vector<std::string> arguments = CommandLine(t38);
  std::clog << ext::header(this) << "args for run t38 daemon:" << std::endl;
  for (size_t i = 0; i < arguments.size(); ++i) {
    std::clog << ext::header(this) << "arg[" << i << "]=" << arguments[i] << std::endl;
  }
  ChildProgram::Launch launch{platform::BoardPath(kProgram), arguments};
  launch.stdin_fd = fd.get();
  launch.exec_failed = kExecFailed;
  const int pid = ChildProgram::Start(launch);
  if (pid < 0) {
    return nullptr;
  }
  std::clog << ext::header(this) << "t38 daemon[" << pid << "] successfully started" << std::endl;
  // The child holds the channel from now on; closing ours leaves it to the child.
  return std::make_unique<T38SoftSlot>(*this, pid, channel);
}

void T38SoftFactory::Query(LGCP::Resources& resources) {
  resources.set_t38_instances(QueryNumOfInstances());
}

int T38SoftFactory::QueryNumOfInstances() {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) {
    std::clog << "t38 daemon not found!" << std::endl;
    return 0;
  }
  Fd read_end(ends[0]);
  Fd write_end(ends[1]);
  ChildProgram::Launch launch{platform::BoardPath(kProgram), {kProgram, "--num-of-instances"}};
  launch.stdout_fd = write_end.get();
  launch.exec_failed = kExecFailed;
  const int pid = ChildProgram::Start(launch);
  if (pid < 0) {
    std::clog << "t38 daemon not found!" << std::endl;
    return 0;
  }
  static_cast<void>(write_end.close());
  const std::optional<std::string> answer = ReadAnswer(read_end.get());
  if (!answer) {
    // Not waited for: the server's reaper takes it.
    kill(pid, SIGKILL);
    std::clog << "t38: no answer within " << kQueryTimeoutMs << " ms, program killed" << std::endl;
    return 0;
  }
  waitpid(pid, nullptr, WNOHANG);
  if (answer->empty()) {
    std::clog << "t38: can't detect T38 resources" << std::endl;
    return 0;
  }
  return static_cast<int>(std::strtol(answer->c_str(), nullptr, 10));
}

void T38SoftFactory::Abandon(int pid) {
  orphans_.emplace_back(*this, pid);
}

void T38SoftFactory::Forget(const Orphan& orphan) {
  orphans_.remove_if([&orphan](const Orphan& each) { return &each == &orphan; });
}

T38SoftFactory::Orphan::Orphan(T38SoftFactory& owner, int pid) : owner_(owner) {
  wait_.Bind(this, &Orphan::OnEnd);
  wait_.Attach(pid);
  kill_.set(kKillAfterMs, &Orphan::OnKill, this);
}

void T38SoftFactory::Orphan::OnEnd(int) {
  owner_.Forget(*this);
}

void T38SoftFactory::Orphan::OnKill() {
  std::clog << ext::header(&owner_) << "t38 daemon[" << pid() << "] still running " << kKillAfterMs
            << " ms after SIGTERM, killed" << std::endl;
  kill(pid(), SIGKILL);
}
