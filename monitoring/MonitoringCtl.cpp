#include "monitoring/MonitoringCtl.h"

#include "asn1/AVNEncoder.h"
#include "monitoring/MonitoringFiles.h"
#include "platform/BoardPath.h"
#include "platform/Device.h"
#include "runtime/config/Version.h"
#include "runtime/log/Ext.h"
#include "runtime/log/TraceFlags.h"
#include "runtime/net/FindProc.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>
#include <string_view>
#include <vector>

namespace {

constexpr const char* kHalPath = "/dev/hal";
constexpr unsigned long kReadDip = 0xc0014205;    // _IOWR('B', 5), one byte
constexpr unsigned long kReadPower = 0xc0014206;  // _IOWR('B', 6), one byte
constexpr unsigned long kWriteLeds = 0xc0014207;  // _IOWR('B', 7), one byte

constexpr unsigned kBackgroundFirstMs = 1000;
constexpr unsigned kBackgroundPeriodMs = 60000;
constexpr unsigned kPowerPeriodMs = 2000;
constexpr unsigned kControllerPeriodMs = 5000;

constexpr const char* kConfigDir = "/usr/local/etc/";
constexpr std::string_view kConfigPrefix = "config.";
constexpr std::string_view kConfigArchive = "config.2save.tar.bz2";
constexpr size_t kFramerReadBytes = 1024;

void Trace(std::string_view text) {
  if (!traces.monitoring.internal) {
    return;
  }
  // Lines read from files keep their line end; the trace is one line all the same.
  if (!text.empty() && text.back() == '\n') {
    text.remove_suffix(1);
  }
  std::clog << text << std::endl;
}

// At most max_chars characters of the file's first line, its line end kept when
// it fits; nothing when the file does not open.
std::optional<std::string> ReadFirstLine(const char* path, int max_chars) {
  std::FILE* file = std::fopen(platform::BoardPath(path).c_str(), "r");
  if (file == nullptr) {
    return std::nullopt;
  }
  std::vector<char> buffer(static_cast<size_t>(max_chars) + 2, '\0');
  const bool read = std::fgets(buffer.data(), max_chars + 1, file) != nullptr;
  std::fclose(file);
  return read ? std::string(buffer.data()) : std::string();
}

bool IsSpace(char c) {
  return std::isspace(static_cast<unsigned char>(c)) != 0;
}

std::string Strip(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && IsSpace(text.back())) {
    text.remove_suffix(1);
  }
  return std::string(text);
}

// "2.1 [r7 b12]" from "voice 2.1 r7 b12": pieces split at runs of blanks,
// each stripped of white space, the first never used.
std::string DriverBuildText(std::string_view line) {
  std::vector<std::string> pieces;
  size_t at = 0;
  while ((at = line.find_first_not_of(' ', at)) != std::string_view::npos) {
    const size_t end = std::min(line.find(' ', at), line.size());
    pieces.push_back(Strip(line.substr(at, end - at)));
    at = end;
  }
  if (pieces.size() > 3) {
    return pieces[1] + " [" + pieces[2] + " " + pieces[3] + "]";
  }
  if (pieces.size() == 3) {
    return pieces[1] + " [" + pieces[2] + "]";
  }
  return "none";
}

// Reads the leading hexadecimal digits of the field; a field that does not
// start with one leaves value as it was. Fields hold at most 8 or 16 digits,
// so the number always fits.
template <typename T>
void ReadHexField(std::string_view field, T& value) {
  (void)std::from_chars(field.data(), field.data() + field.size(), value, 16);
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// The power supply byte of the driver as the controller's enumeration.
LGCP::POWERStatus::NamedNumber ToPowerStatus(uint8_t byte) {
  if (byte == 0) {
    return LGCP::POWERStatus::both;
  }
  if (byte > LGCP::POWERStatus::both) {
    return LGCP::POWERStatus::unknown;
  }
  return static_cast<LGCP::POWERStatus::NamedNumber>(byte);
}

ACP::TrunkState::NamedNumber ToTrunkState(int state) {
  if (state < ACP::TrunkState::normal || state > ACP::TrunkState::disabled) {
    return ACP::TrunkState::unknown;
  }
  return static_cast<ACP::TrunkState::NamedNumber>(state);
}

std::string Unsigned(int64_t value) {
  return std::to_string(static_cast<uint32_t>(value));
}

std::string Flag(bool value) {
  return value ? "1" : "0";
}

// "Error open file: "/path" errno="No such file or directory"".
void TraceFileError(const char* what, const std::string& path, int error) {
  Trace(std::string(what) + "\"" + path + "\" errno=\"" + std::strerror(error) + "\"");
}

}  // namespace

MonitoringCtl& MonitoringCtl::instance() {
  static MonitoringCtl service;
  return service;
}

MonitoringCtl::MonitoringCtl()
    : holder_(std::make_unique<MonitoringDataHolder>()), agents_(std::make_unique<SnmpAgentCtrl>()) {
  sendDpc.Bind(this, &MonitoringCtl::OnDpcSend);
  bkgCheckTimer.set(kBackgroundFirstMs, &MonitoringCtl::onBkgCheckTimer, this);
  powerCheckTimer.set(kPowerPeriodMs, &MonitoringCtl::onPowerCheckTimer, this);
  controllerCheckTimer.set(kControllerPeriodMs, &MonitoringCtl::onControllerCheckTimer, this);
}

MonitoringCtl::~MonitoringCtl() {
  Shutdown();
}

void MonitoringCtl::Configure(IniFile::File& file) {
  if (!agents_) {
    return;
  }
  agents_->CreateInstances(file["snmpagent"]);
  agents_->Bind(this);
}

void MonitoringCtl::Shutdown() {
  if (!holder_) {
    return;
  }
  if (halFd >= 0) {
    led_byte_ = 0;
    WriteLeds();
    platform::Close(halFd);
    halFd = -1;
  }
  sendDpc.Deactivate();
  bkgCheckTimer.reset();
  powerCheckTimer.reset();
  controllerCheckTimer.reset();
  agents_.reset();
  holder_.reset();
}

void MonitoringCtl::OnConnect() {
  if (!holder_) {
    return;
  }
  doPowerCheck();
  sendPowerStatus();
  doControllerCheck();
}

void MonitoringCtl::OnDisconnect() {
  if (!holder_) {
    return;
  }
  holder_->ClearControllerFiles();
  doControllerCheck();
}

bool MonitoringCtl::OnCommand(const LGCP::Command& command) {
  if (!holder_ || !command.is_display()) {
    return false;
  }
  OnDisplayCMD(command.get_display());
  Success();
  return true;
}

void MonitoringCtl::OnSignal(const LGCP::Signal& signal) {
  if (holder_ && signal.is_trunkStatus()) {
    OnTrunkStatus(signal.get_trunkStatus());
  }
}

void MonitoringCtl::OnSnmpAgentConnect(const std::string& /*name*/) {
  if (holder_) {
    sendDpc.Activate();
  }
}

void MonitoringCtl::PutHeader(std::ostream& os) const {
  os << "monitoring: ";
}

bool MonitoringCtl::IsOpen() {
  if (halFd >= 0) {
    return true;
  }
  led_byte_ = 0;
  halFd = platform::Open(kHalPath, O_RDWR | O_CLOEXEC);
  if (halFd < 0) {
    return false;
  }
  WriteLeds();
  return true;
}

void MonitoringCtl::WriteLeds() {
  uint8_t byte = led_byte_;
  // A failed write is not retried: the next one carries the same bits.
  (void)platform::Ioctl(halFd, kWriteLeds, &byte);
}

void MonitoringCtl::OnDisplayCMD(const LGCP::DisplayParams& params) {
  holder_->setDisplayStatus(params);
  switch (params.alternative()) {
    case LGCP::DisplayParams::Alternative::board:
      if (params.get_board().is_boardStatus()) {
        sendSnmpBoardStatus(params.get_board().get_boardStatus());
      }
      return;
    case LGCP::DisplayParams::Alternative::snmpTrapReceivers:
      sendSnmpTrapReceivers();
      return;
    case LGCP::DisplayParams::Alternative::framer:
      setFramerLed(params.get_framer());
      return;
    case LGCP::DisplayParams::Alternative::emPhone:
      if (params.get_emPhone().is_phoneStatus()) {
        sendSnmpEmPhoneStatus(params.get_emPhone().get_phoneStatus());
      }
      return;
    case LGCP::DisplayParams::Alternative::controller:
      sendSnmpControllerStatus();
      return;
    case LGCP::DisplayParams::Alternative::termCounter:
      sendSnmpTermCnts();
      return;
    case LGCP::DisplayParams::Alternative::snmp_set:
      agents_->Send(params.get_snmp_set());
      return;
    default:
      // An alternative added to the schema later: stored as far as known, nothing to pass on.
      return;
  }
}

void MonitoringCtl::setFramerLed(const LGCP::FramerInfo& framer) {
  const int64_t e1 = framer.get_e1().getValue();
  // Only four framers have LEDs; a shift by anything else would hit other bits or none.
  if (e1 < 0 || e1 > 3) {
    std::cerr << ext::header(this) << "framer " << e1 << " has no LEDs" << std::endl;
    return;
  }
  if (!IsOpen()) {
    return;
  }
  const auto link_bit = static_cast<uint8_t>(1u << (2 * e1));
  const auto line_bit = static_cast<uint8_t>(2u << (2 * e1));
  const LGCP::FramerInfoData& info = framer.get_info();
  if (info.is_link()) {
    led_byte_ = info.get_link().getValue() ? led_byte_ & ~link_bit : led_byte_ | link_bit;
  } else if (info.is_line() && !info.get_line().getValue()) {
    led_byte_ &= static_cast<uint8_t>(~(link_bit | line_bit));
  } else if (info.is_line()) {
    if ((led_byte_ & line_bit) == 0) {
      led_byte_ |= link_bit;
    }
    led_byte_ |= line_bit;
  }
  WriteLeds();
}

void MonitoringCtl::OnTrunkStatus(const ACP::TrunkStatus& status) {
  // BRI lines share trunk numbers with the E1 framers; only E1 statuses are theirs.
  if (status.get_type().getValue() != ACP::TrunkType::e1) {
    return;
  }
  const int64_t trunk = status.get_trunk().getValue();
  const ACP::TrunkState::NamedNumber state = ToTrunkState(status.get_state().getValue());
  bool changed = false;
  for (FramerDataHolder& framer : holder_->framers) {
    if (framer.number - 1 == trunk && framer.setFramerStatus(state) != 0) {
      changed = true;
    }
  }
  if (changed) {
    sendDpc.Activate();
  }
}

void MonitoringCtl::sendPowerStatus() {
  LGCP::Signal signal;
  signal.select_power() = holder_->boardPowerStatus;
  SendSignal(CtrlSrv::kNoSlot, signal);
}

void MonitoringCtl::onBkgCheckTimer(Timer* timer) {
  doVersionsCheck();
  doConfigCheck();
  doFramerCheck();
  doTemperatureCheck();
  timer->set(kBackgroundPeriodMs, &MonitoringCtl::onBkgCheckTimer, this);
}

void MonitoringCtl::onPowerCheckTimer(Timer* timer) {
  doPowerCheck();
  doDipCheck();
  doNetIfCheck();
  timer->set(kPowerPeriodMs, &MonitoringCtl::onPowerCheckTimer, this);
}

void MonitoringCtl::onControllerCheckTimer(Timer* timer) {
  doControllerCheck();
  timer->set(kControllerPeriodMs, &MonitoringCtl::onControllerCheckTimer, this);
}

void MonitoringCtl::doVersionsCheck() {
  const struct {
    const char* path;
    const char* prefix;
    int (MonitoringDataHolder::*set)(const std::string&);
    void (MonitoringCtl::*send)();
  } kFiles[] = {
      {"/var/version", "BuildVersion - ", &MonitoringDataHolder::setBuildVersion,
       &MonitoringCtl::sendSnmpStatusBuildVersion},
      {"/var/u-boot-version", "BootVersion - ", &MonitoringDataHolder::setBootVersion,
       &MonitoringCtl::sendSnmpStatusBootVersion},
      {"/var/fpga-version", "FPGAVersion - ", &MonitoringDataHolder::setFPGAVersion,
       &MonitoringCtl::sendSnmpStatusFPGAVersion},
      {"/var/board-version", "BoardVersion - ", &MonitoringDataHolder::setBoardVersion,
       &MonitoringCtl::sendSnmpStatusBoardVersion},
  };
  for (const auto& file : kFiles) {
    const std::optional<std::string> line = ReadFirstLine(file.path, 254);
    if (!line) {
      continue;
    }
    Trace(file.prefix + *line);
    if (((*holder_).*file.set)(*line) != 0) {
      (this->*file.send)();
    }
  }
}

void MonitoringCtl::doConfigCheck() {
  DIR* dir = opendir(platform::BoardPath(kConfigDir).c_str());
  if (dir == nullptr) {
    return;
  }
  const int dir_fd = dirfd(dir);
  // The process works in the configuration folder from the first check on.
  if (fchdir(dir_fd) != 0) {
    Trace(std::string("Error chdir: ") + std::strerror(errno));
  }
  uint32_t first = 0;
  uint64_t second = 0;
  while (const dirent* entry = readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (!StartsWith(name, kConfigPrefix) || StartsWith(name, kConfigArchive)) {
      continue;
    }
    struct stat status {};
    if (fstatat(dir_fd, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0 || S_ISDIR(status.st_mode)) {
      continue;
    }
    // "config.<8 hex digits><separator><16 hex digits>"; a short name reads what it holds.
    const std::string_view fields = name.substr(kConfigPrefix.size(), 25);
    ReadHexField(fields.substr(0, 8), first);
    if (fields.size() > 9) {
      ReadHexField(fields.substr(9, 16), second);
    }
    if (holder_->setConfigVersion(first, second) != 0) {
      sendSnmpGatewayConfigVersion();
    }
  }
  closedir(dir);
}

void MonitoringCtl::doFramerCheck() {
  for (FramerDataHolder& framer : holder_->framers) {
    const int fd = open(platform::BoardPath(framer.path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      TraceFileError("Error open file: ", framer.path, errno);
      continue;
    }
    std::vector<unsigned char> bytes(kFramerReadBytes);
    ssize_t count;
    do {
      count = read(fd, bytes.data(), bytes.size());
    } while (count < 0 && errno == EINTR);
    const int error = errno;
    close(fd);
    if (count <= 0) {
      TraceFileError("Error read file: ", framer.path, count == 0 ? 0 : error);
      continue;
    }
    bytes.resize(static_cast<size_t>(count));
    if (framer.setFramerStatus(bytes) != 0) {
      sendSnmpFramerStatus(framer);
    }
  }
}

void MonitoringCtl::doTemperatureCheck() {
  const std::optional<std::string> line = ReadFirstLine("/proc/temperature", 254);
  if (!line) {
    return;
  }
  Trace("Temperature - " + *line);
  const auto end = std::find_if(line->begin(), line->end(), IsSpace);
  if (holder_->setTemperature(std::string(line->begin(), end)) != 0) {
    sendSnmpTemperature();
  }
}

void MonitoringCtl::doPowerCheck() {
  uint8_t byte = 0;
  if (!IsOpen() || platform::Ioctl(halFd, kReadPower, &byte) < 0) {
    return;
  }
  if (holder_->setPowerStatus(ToPowerStatus(byte)) == 0) {
    return;
  }
  if (traces.monitoring.internal) {
    std::clog << "New power status - " << holder_->boardPowerStatus << std::endl;
  }
  sendPowerStatus();
  sendSnmpPowerStatus();
}

void MonitoringCtl::doDipCheck() {
  uint8_t byte = 0;
  if (!IsOpen() || platform::Ioctl(halFd, kReadDip, &byte) < 0) {
    return;
  }
  if (holder_->setDipValue(byte) == 0) {
    return;
  }
  Trace("New dip - " + std::to_string(byte));
  sendSnmpGatewayDip();
}

void MonitoringCtl::doNetIfCheck() {
  for (NetIfDataHolder& net_if : holder_->netIfs) {
    if (net_if.updateNetIf()) {
      sendSnmpNetIfStatus(net_if);
    }
  }
}

void MonitoringCtl::doControllerCheck() {
  LGCP::ControllerInfo report;
  report.get_host().set_iaddr(DottedAddress(holder_->selfAddress));
  report.get_host().set_port(0);
  bool connected = false;
  if (CheckServerConnection(connected) && connected) {
    report.get_status() = holder_->selfControllerStatus;
  } else {
    holder_->controllerPid = find_proc_by_name("controller", holder_->controllerPid);
    report.get_status().setValue(holder_->controllerPid > 0 ? HSP::ControllerStatus::notconnection
                                                            : HSP::ControllerStatus::notrun);
  }
  if (holder_->setControllerStatus(report) != 0) {
    sendSnmpControllerStatus();
  }
}

void MonitoringCtl::OnDpcSend() {
  sendSnmpTrapReceivers();
  sendSnmpDriverBuild();
  sendSnmpSoftwareBuild();
  sendSnmpPowerStatus();
  sendSnmpControllerStatus();
  sendSnmpGatewayDip();
  sendSnmpGatewayConfigVersion();
  sendSnmpTemperature();
  sendSnmpStatusBuildVersion();
  sendSnmpStatusFPGAVersion();
  sendSnmpStatusBootVersion();
  sendSnmpStatusBoardVersion();
  sendSnmpBoardStatuses();
  // Twice, as the agents have always received them.
  sendSnmpEmPhoneStatuses();
  sendSnmpEmPhoneStatuses();
  sendSnmpTermCnts();
  sendSnmpFramerStatus();
  sendSnmpNetIfStatus();
  sendSnmpCommands();
  sendDpc.Deactivate();
}

void MonitoringCtl::sendSnmpDriverBuild() {
  const std::optional<std::string> line = ReadFirstLine("/proc/voice/version", 126);
  if (line && !line->empty()) {
    agents_->Send(SnmpAgentCtrl::driverBuild, DriverBuildText(*line));
  }
}

void MonitoringCtl::sendSnmpSoftwareBuild() {
  agents_->Send(SnmpAgentCtrl::softwareBuild, Version::current.tag);
}

void MonitoringCtl::sendSnmpPowerStatus() {
  agents_->Send(SnmpAgentCtrl::powerStatus, Unsigned(holder_->boardPowerStatus.getValue()));
}

void MonitoringCtl::sendSnmpControllerStatus() {
  agents_->Send(SnmpAgentCtrl::controllerStatus, Unsigned(holder_->selfControllerStatus.getValue()));
}

void MonitoringCtl::sendSnmpGatewayDip() {
  agents_->Send(SnmpAgentCtrl::gatewayDip, Unsigned(holder_->dipValue));
}

void MonitoringCtl::sendSnmpGatewayConfigVersion() {
  agents_->Send(SnmpAgentCtrl::gatewayConfigVersion, Unsigned(holder_->configVersion.first));
}

void MonitoringCtl::sendSnmpBoardStatus(const LGCP::BoardStatusParams& board) {
  const auto index = static_cast<int32_t>(board.get_position().getValue());
  agents_->Send(SnmpAgentCtrl::extBoardStatus, index, std::to_string(board.get_status().getValue()));
  agents_->Send(SnmpAgentCtrl::extBoardSoftVer, index, std::string(board.get_version()));
  agents_->Send(SnmpAgentCtrl::extBoardType, index, std::to_string(board.get_type().getValue()));
}

void MonitoringCtl::sendSnmpBoardStatuses() {
  for (const LGCP::BoardStatusParams& board : holder_->boards) {
    sendSnmpBoardStatus(board);
  }
}

void MonitoringCtl::sendSnmpEmPhoneStatus(const LGCP::EmPhoneStatusParams& phone) {
  // Rows count from 1; wrapping keeps the largest id defined.
  const auto index = static_cast<int32_t>(static_cast<uint32_t>(phone.get_id().getValue()) + 1u);
  agents_->Send(SnmpAgentCtrl::emPhonePanelSoftVer, index, std::string(phone.get_panelSV()));
  agents_->Send(SnmpAgentCtrl::emPhoneCtrlSoftVer, index, std::string(phone.get_ctrlSV()));
  agents_->Send(SnmpAgentCtrl::emPhoneFpgaSoftVer, index, std::string(phone.get_fpgaSV()));
  agents_->Send(SnmpAgentCtrl::emPhoneStatus, index, std::to_string(phone.get_status().getValue()));
  agents_->Send(SnmpAgentCtrl::emPhonePowerStatus, index, std::to_string(phone.get_powerStatus().getValue()));
  agents_->Send(SnmpAgentCtrl::emPhoneMode, index, std::to_string(phone.get_mode().getValue()));
  agents_->Send(SnmpAgentCtrl::emPhoneHookStatus, index, std::to_string(phone.get_hookStatus().getValue()));
  agents_->Send(SnmpAgentCtrl::emPhoneBaseStatus, index, std::to_string(phone.get_baseStatus().getValue()));
}

void MonitoringCtl::sendSnmpEmPhoneStatuses() {
  for (const LGCP::EmPhoneStatusParams& phone : holder_->emPhones) {
    sendSnmpEmPhoneStatus(phone);
  }
}

void MonitoringCtl::sendSnmpTermCnts() {
  sendSnmpRouterTermCnt();
  sendSnmpControllerTermCnt();
  sendSnmpServerTermCnt();
  sendSnmpBoardTermCnt();
}

void MonitoringCtl::sendSnmpRouterTermCnt() {
  sendSnmpTermCnt(LGCP::TermCounterOwner::router, SnmpAgentCtrl::routerTermCnt);
}

void MonitoringCtl::sendSnmpControllerTermCnt() {
  sendSnmpTermCnt(LGCP::TermCounterOwner::controller, SnmpAgentCtrl::controllerTermCnt);
}

void MonitoringCtl::sendSnmpServerTermCnt() {
  sendSnmpTermCnt(LGCP::TermCounterOwner::server, SnmpAgentCtrl::serverTermCnt);
}

void MonitoringCtl::sendSnmpBoardTermCnt() {
  sendSnmpTermCnt(LGCP::TermCounterOwner::extBoard, SnmpAgentCtrl::extBoardTermCnt);
}

void MonitoringCtl::sendSnmpTermCnt(LGCP::TermCounterOwner::NamedNumber owner, SnmpAgentCtrl::MonitoringItemType type) {
  for (const LGCP::TermCounter& counter : holder_->termCounters) {
    if (counter.get_owner().getValue() != owner) {
      continue;
    }
    const bool per_board = owner == LGCP::TermCounterOwner::extBoard;
    if (per_board && !counter.has_ownerId()) {
      continue;
    }
    const auto index = per_board ? static_cast<int32_t>(counter.get_ownerId().getValue()) : 0;
    agents_->Send(type, index, Unsigned(counter.get_cnt().getValue()));
  }
}

void MonitoringCtl::sendSnmpFramerStatus(const FramerDataHolder& framer) {
  const int32_t index = framer.number;
  agents_->Send(SnmpAgentCtrl::e1Connected, index, Flag(framer.connected));
  agents_->Send(SnmpAgentCtrl::e1StatusDsc, index, framer.status);
  agents_->Send(SnmpAgentCtrl::e1SignalLoss, index, Flag(framer.signal_loss));
  agents_->Send(SnmpAgentCtrl::e1FrameAlignLoss, index, Flag(framer.frame_alignment_loss));
  agents_->Send(SnmpAgentCtrl::e1NegSlipCount, index, std::to_string(framer.negative_slips));
  agents_->Send(SnmpAgentCtrl::e1PosSlipCount, index, std::to_string(framer.positive_slips));
}

void MonitoringCtl::sendSnmpFramerStatus() {
  for (const FramerDataHolder& framer : holder_->framers) {
    sendSnmpFramerStatus(framer);
  }
}

void MonitoringCtl::sendSnmpStatusBuildVersion() {
  agents_->Send(SnmpAgentCtrl::sgBuildVersion, holder_->buildVersion);
}

void MonitoringCtl::sendSnmpStatusFPGAVersion() {
  agents_->Send(SnmpAgentCtrl::sgFPGAVersion, holder_->fpgaVersion);
}

void MonitoringCtl::sendSnmpStatusBootVersion() {
  agents_->Send(SnmpAgentCtrl::sgBootVersion, holder_->bootVersion);
}

void MonitoringCtl::sendSnmpStatusBoardVersion() {
  agents_->Send(SnmpAgentCtrl::sgBoardVersion, holder_->boardVersion);
}

void MonitoringCtl::sendSnmpNetIfStatus(const NetIfDataHolder& net_if) {
  agents_->Send(SnmpAgentCtrl::ifOperStatus, net_if.ifIndex, std::to_string(net_if.operStatus));
  agents_->Send(SnmpAgentCtrl::ifAdminStatus, net_if.ifIndex, std::to_string(net_if.adminStatus));
  agents_->Send(SnmpAgentCtrl::ifDescr, net_if.ifIndex, net_if.name);
}

void MonitoringCtl::sendSnmpNetIfStatus() {
  for (const NetIfDataHolder& net_if : holder_->netIfs) {
    sendSnmpNetIfStatus(net_if);
  }
}

void MonitoringCtl::sendSnmpTemperature() {
  agents_->Send(SnmpAgentCtrl::temperature, holder_->temperature);
}

void MonitoringCtl::sendSnmpTrapReceivers() {
  agents_->SendTrapsink(std::vector<std::string>(holder_->trapReceivers.begin(), holder_->trapReceivers.end()));
}

void MonitoringCtl::sendSnmpCommands() {
  agents_->Send(holder_->snmpSetCommands);
}
