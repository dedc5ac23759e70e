#include "server/Startup.h"

#include "hardware/BusCtl.h"
#include "hardware/E1Ctl.h"
#include "hardware/HwMux.h"
#include "hardware/HwTests.h"
#include "hardware/spiCtrl.h"
#include "monitoring/MonitoringCtl.h"
#include "platform/BoardPath.h"
#include "platform/ServicePort.h"
#include "radio/RtpED137Factory.h"
#include "radio/RtpLEMZFactory.h"
#include "rtp/RtpFactory.h"
#include "runtime/config/IniFile.h"
#include "runtime/config/Version.h"
#include "runtime/log/Daemon.h"
#include "runtime/log/TraceFlags.h"
#include "runtime/loop/ChildWait.h"
#include "runtime/loop/Multiplexer.h"
#include "runtime/loop/Signal.h"
#include "runtime/net/Fd.h"
#include "runtime/transport/ControlAcceptorNet.h"
#include "server/CtrlSrv.h"
#include "server/HeartBeatCtl.h"
#include "server/Options.h"
#include "server/TraceCtl.h"
#include "signalling/HdlcSlotFactory.h"
#include "signalling/IsdnFactory.h"
#include "signalling/PstnFactory.h"
#include "slots/ChildProgram.h"
#include "slots/EchoFactory.h"
#include "slots/ExtFactory.h"
#include "slots/MapFactory.h"
#include "slots/MccFactory.h"
#include "slots/MixerFactory.h"
#include "slots/ModemFactory.h"
#include "slots/Slots.h"
#include "slots/T38SoftFactory.h"
#include "slots/VoiceFactory.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>

namespace {

constexpr const char* kConfigPath = "/usr/local/etc/server.conf";
constexpr const char* kStatusPath = "/var/log/server-status";
constexpr int kExitVersion = 2;
constexpr int kExitBadEnvironment = 2;
constexpr int kExitAlreadyRunning = 1;

// Set by the signal handlers, acted on by CheckSignals on the loop's thread.
volatile std::sig_atomic_t doDumpStatus = 0;
volatile std::sig_atomic_t updateResources = 0;

void OnPipe(int) {}
void OnDumpStatus(int) {
  doDumpStatus = 1;
}
void OnUpdateResources(int) {
  updateResources = 1;
}
void OnTerminate(int) {
  multiplexer.terminate();
}

void InstallSignalHandlers() {
  IPC::Signal::handle(SIGPIPE, OnPipe, SA_RESTART);
  IPC::Signal::handle(SIGUSR2, OnDumpStatus, SA_RESTART);
  IPC::Signal::handle(SIGHUP, OnUpdateResources, SA_RESTART);
  // Without SA_RESTART, so the loop's poll returns and sees the flag at once.
  IPC::Signal::handle(SIGTERM, OnTerminate, 0);
  IPC::Signal::handle(SIGINT, OnTerminate, 0);
}

// Written under a temporary name and renamed into place, so that a dump cut
// off (a full disk) never stands where a whole one is looked for; a link
// planted at the path is refused, not followed out of the board root.
bool ReplaceFile(const std::string& path, const std::string& content) {
  struct stat entry {};
  if (lstat(path.c_str(), &entry) == 0 && S_ISLNK(entry.st_mode)) {
    errno = ELOOP;
    return false;
  }
  const std::string temporary = path + ".tmp";
  unlink(temporary.c_str());
  const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) {
    return false;
  }
  const bool written = WriteAll(fd, content);
  const bool closed = close(fd) == 0;
  if (written && closed && rename(temporary.c_str(), path.c_str()) == 0) {
    return true;
  }
  const int error = errno;
  unlink(temporary.c_str());
  errno = error;
  return false;
}

void CheckDumpStatus() {
  if (!doDumpStatus) {
    return;
  }
  doDumpStatus = 0;
  std::ostringstream dump;
  dump << "server status information." << std::endl;
  dump << "version : " << Version::current.tag << std::endl;
  multiplexer.dump(dump);
  const std::string path = platform::BoardPath(kStatusPath);
  if (!ReplaceFile(path, dump.str())) {
    const int error = errno;
    std::cerr << "dump status error: " << path << ": " << std::strerror(error) << std::endl;
  }
}

void CheckUpdateResources() {
  if (!updateResources) {
    return;
  }
  updateResources = 0;
  std::clog << "update hardware resources" << std::endl;
  Slots::instance().UpdateHardwareResources();
}

void CheckSignals() {
  CheckDumpStatus();
  CheckUpdateResources();
}

void RunDaemon() {
  Daemon::Params params;
  params.name = std::string("kvd-") + Version::current.tag;
  Daemon::Init(params);
}

// A missing file leaves config empty, which configures nothing.
void ReadConfiguration(IniFile::File& config) {
  if (!config.Open(platform::BoardPath(kConfigPath))) {
    return;
  }
  traces = TraceFlags{};
  TraceCtl::Configure(config["traces"]);
}

// Each factory joins the head of the chain when built, so a create asks them
// in the reverse of this order, and the trunk factories, built before main,
// last.
void BuildFactories() {
  MapFactory::instance();
  PstnFactory::instance();
  RtpFactory::instance();
  ModemFactory::instance();
  Mixer::MixerFactory::instance();
  ExtFactory::instance();
  MccFactory::instance();
  EchoFactory::instance();
  VoiceFactory::instance();
  T38SoftFactory::instance();
  IsdnFactory::instance();
  RtpLEMZFactory::instance();
  RtpED137Factory::instance();
  HdlcSlotFactory::instance();
}

// Every RTP or radio slot holds several descriptors (its sessions and its
// RTCP socket), so a shell's usual soft limit of 1,024 would refuse slots long
// before the board runs out of channels. The loop polls, so high descriptor
// numbers are safe. The child programs are started with the limit as it was.
void RaiseOpenFilesLimit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) {
    std::cerr << "open files limit unknown: " << std::strerror(errno) << std::endl;
    return;
  }
  const rlim_t soft = limit.rlim_cur;
  ChildProgram::KeepOpenFilesLimit(limit);
  limit.rlim_cur = limit.rlim_max;
  if (setrlimit(RLIMIT_NOFILE, &limit) != 0) {
    std::cerr << "open files limit stays at " << soft << ": " << std::strerror(errno) << std::endl;
    return;
  }
  std::clog << "open files limit " << limit.rlim_cur << std::endl;
}

void BindServices(bool disable_clock) {
  ctrlServer.Bind(&HeartBeatCtl::instance());
  ctrlServer.Bind(&Slots::instance());
  ctrlServer.Bind(&HwTests::instance());
  // Only here, where the bus control is built: building it opens the board's
  // line chips, which a --version must not touch.
  if (disable_clock) {
    BusCtl::instance().DisableControl();
  }
  ctrlServer.Bind(&BusCtl::instance());
  ctrlServer.Bind(&E1Ctl::instance());
  ctrlServer.Bind(&spiCtrl::instance());
  ctrlServer.Bind(&MonitoringCtl::instance());
}

}  // namespace

std::optional<int> Startup::Begin(int argc, char** argv) {
  if (!platform::AnchorBoardRoot()) {
    std::cerr << "board root " << platform::BoardRoot() << " stays relative: " << std::strerror(errno) << std::endl;
  }
  IniFile::File config;
  ReadConfiguration(config);
  InstallSignalHandlers();
  Options options = ParseOptions(argc, argv, std::cout);
  if (options.exit_status) {
    return options.exit_status;
  }
  if (options.print_version) {
    std::cout << "server version: " << Version::current.tag << std::endl;
    return kExitVersion;
  }
  // Checked as the command line is: the listener is built with the factories.
  if (!platform::ServicePort(ModemFactory::kAuthPortVariable, ModemFactory::kAuthPort)) {
    std::cerr << argv[0] << ": " << platform::ServicePortRefusal(ModemFactory::kAuthPortVariable) << std::endl;
    return kExitBadEnvironment;
  }
  if (const std::string root = platform::BoardRootLine(); !root.empty()) {
    std::clog << root << std::endl;
  }
  // Before anything of the board is touched: monitoring empties its folder,
  // which a live server on this root is using.
  // A daemon's launcher leaves the pid to the daemon.
  pid_file_ = std::make_unique<Linux::Run>("server", !options.daemon);
  if (!pid_file_->claimed()) {
    std::cerr << "another server";
    if (pid_file_->holder() > 0) {
      std::cerr << " (pid " << pid_file_->holder() << ")";
    }
    std::cerr << " holds " << pid_file_->path() << ": not starting" << std::endl;
    return kExitAlreadyRunning;
  }
  RaiseOpenFilesLimit();
  BuildFactories();
  HwMux::instance();
  MonitoringCtl::instance().Configure(config);
  if (options.daemon) {
    RunDaemon();
    // The daemon is the forked child, which keeps the file's lock; its launcher
    // leaves once the file names it. A pid that cannot be written is said by
    // the launcher too: the daemon's own error stream is the log by now. The
    // daemon serves all the same, as a server without its pid file does.
    const std::string failure = pid_file_->Write();
    Daemon::Ready(failure);
    if (!failure.empty()) {
      std::cerr << failure << std::endl;
    }
  }
  std::cout << "Starting server [" << Version::current.tag << "], port=" << options.port << std::endl;
  BindServices(options.disable_clock);
  ChildWait::Activate();
  check_signals_.Bind(new DpcHandler1(CheckSignals));
  check_signals_.Activate();
  if (!ctrlServer.Activate(std::make_unique<Control::AcceptorNetCheckConnection>(options.port))) {
    std::cerr << "controller listener on port " << options.port << " failed to start" << std::endl;
  }
  return std::nullopt;
}

int Startup::Run() {
  multiplexer.run(true, true);
  ctrlServer.Deactivate();
  // While the loop still exists: its timers, links and LED byte go with it.
  MonitoringCtl::instance().Shutdown();
  check_signals_.Deactivate();
  pid_file_.reset();
  return 0;
}
