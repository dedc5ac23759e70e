#include "monitoring/MonitoringDataHolder.h"

#include "asn1/AVNEncoder.h"
#include "monitoring/MonitoringFiles.h"
#include "monitoring/StoreIfChanged.h"
#include "platform/BoardPath.h"
#include "platform/Device.h"
#include "runtime/log/TraceFlags.h"
#include "runtime/net/Net.h"

#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iostream>

namespace {

constexpr int kFramers = 4;
constexpr const char* kFramerStatusPath = "/proc/driver/hdlc/peb22554/";
constexpr int kNetIfIndexes = 16;

// The term_cnts file of a counter's owner; empty when it has none.
std::string TermCounterPath(const LGCP::TermCounter& counter) {
  switch (counter.get_owner().getValue()) {
    case LGCP::TermCounterOwner::router:
      return std::string(MonitoringFiles::kTermCounterDir) + "router";
    case LGCP::TermCounterOwner::controller:
      return std::string(MonitoringFiles::kTermCounterDir) + "controller";
    case LGCP::TermCounterOwner::server:
      return std::string(MonitoringFiles::kTermCounterDir) + "server";
    case LGCP::TermCounterOwner::extBoard:
      if (!counter.has_ownerId()) {
        return std::string();
      }
      return std::string(MonitoringFiles::kTermCounterDir) + "board" + std::to_string(counter.get_ownerId().getValue());
    default:
      return std::string();
  }
}

bool SameCounterOwner(const LGCP::TermCounter& held, const LGCP::TermCounter& counter) {
  if (held.get_owner().getValue() != counter.get_owner().getValue()) {
    return false;
  }
  if (!held.has_ownerId()) {
    return true;
  }
  return counter.has_ownerId() && held.get_ownerId().getValue() == counter.get_ownerId().getValue();
}

bool SameCommandId(const MON::SnmpSetCommandId& held, const MON::SnmpSetCommandId& id) {
  if (held.currentSelection() != id.currentSelection()) {
    return false;
  }
  if (id.is_oid()) {
    return held.get_oid() == id.get_oid();
  }
  if (!id.is_name()) {
    return false;
  }
  const MON::IniName& a = held.get_name();
  const MON::IniName& b = id.get_name();
  return a.get_section() == b.get_section() && a.get_name() == b.get_name() &&
         a.get_index().getValue() == b.get_index().getValue();
}

MON::SnmpSetCommand* FindSnmpCommand(MON::SnmpSetCommands& held, const MON::SnmpSetCommandId& id) {
  for (MON::SnmpSetCommand& command : held.get_commands()) {
    if (SameCommandId(command.get_id(), id)) {
      return &command;
    }
  }
  return nullptr;
}

// A name the controller gives may only name one entry of its own directory.
bool IsSafeEntryName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") {
    return false;
  }
  for (unsigned char c : name) {
    if (c == '/' || c < 0x20 || c == 0x7F) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::string DottedAddress(const INet4::Addr& address) {
  const std::vector<uint8_t> bytes = address.GetVector();
  return std::to_string(bytes[0]) + "." + std::to_string(bytes[1]) + "." + std::to_string(bytes[2]) + "." +
         std::to_string(bytes[3]);
}

std::string host2str(const TERM::HostAddress& host) {
  return std::string(host.get_iaddr());
}

std::string MonitoringDataHolder::DipStatusSaver() const {
  return std::to_string(dipValue);
}

std::string MonitoringDataHolder::PowerStatusSaver() const {
  const int status = boardPowerStatus.getValue();
  return std::to_string(status >= 0 && status <= LGCP::POWERStatus::both ? status : 0);
}

std::string MonitoringDataHolder::ConfigVersionSaver() const {
  char text[32];
  std::snprintf(text, sizeof text, "%08x-%016llx", configVersion.first,
                static_cast<unsigned long long>(configVersion.second));
  return text;
}

std::string MonitoringDataHolder::BoardStatusSaver(const LGCP::BoardStatusParams& board) {
  return std::to_string(board.get_status().getValue()) + "\n" + std::string(board.get_version()) + "\n" +
         std::to_string(board.get_type().getValue()) + "\n";
}

std::string MonitoringDataHolder::PhoneStatusSaver(const LGCP::EmPhoneStatusParams& phone) {
  std::string text;
  for (const ASN1::OCTET_STRING* version : {&phone.get_panelSV(), &phone.get_ctrlSV(), &phone.get_fpgaSV()}) {
    text += std::string(*version) + "\n";
  }
  for (const ASN1::ENUMERATED* value : {static_cast<const ASN1::ENUMERATED*>(&phone.get_status()),
                                        static_cast<const ASN1::ENUMERATED*>(&phone.get_powerStatus()),
                                        static_cast<const ASN1::ENUMERATED*>(&phone.get_mode()),
                                        static_cast<const ASN1::ENUMERATED*>(&phone.get_hookStatus()),
                                        static_cast<const ASN1::ENUMERATED*>(&phone.get_baseStatus())}) {
    text += std::to_string(value->getValue()) + "\n";
  }
  return text;
}

std::string MonitoringDataHolder::ControllerStatusSaver(const HSP::ControllerStatus& status) {
  return std::to_string(status.getValue());
}

std::string MonitoringDataHolder::TermCounterSaver(int count) {
  return std::to_string(count);
}

std::string MonitoringDataHolder::StringParamSaver(const std::string& text) {
  return text;
}

std::string MonitoringDataHolder::BoardChannelStatusSaver() {
  return {};
}

MonitoringDataHolder::MonitoringDataHolder() {
  MonitoringFiles::ClearMonitorFiles();
  FindSelfAddress();
  FindFramers();
  FindNetIfs();
  MonitoringFiles::CheckForMonDir(MonitoringFiles::kRoot);
  MonitoringFiles::CheckForMonDir(MonitoringFiles::kTermCounterDir);
}

MonitoringDataHolder::~MonitoringDataHolder() {
  MonitoringFiles::ClearMonitorFiles();
}

void MonitoringDataHolder::FindSelfAddress() {
  std::list<INet4::Addr> addresses;
  if (Net::ifconfig(addresses, Net::kPrivate) > 0 && !addresses.empty()) {
    selfAddress = addresses.front();
    return;
  }
  (void)selfAddress.Assign("127.0.0.1");
}

void MonitoringDataHolder::FindFramers() {
  for (int i = 0; i < kFramers; ++i) {
    const std::string path = kFramerStatusPath + std::to_string(i);
    struct stat status {};
    if (stat(platform::BoardPath(path).c_str(), &status) == 0) {
      framers.emplace_back(i + 1, path);
    }
  }
}

void MonitoringDataHolder::FindNetIfs() {
  const int sock = NetIfDataHolder::OpenInterfaceSocket();
  if (sock < 0) {
    return;
  }
  for (int index = 0; index < kNetIfIndexes; ++index) {
    ifreq request{};
    request.ifr_ifindex = index;
    if (platform::Ioctl(sock, SIOCGIFNAME, &request) == 0) {
      netIfs.emplace_back(index, std::string(request.ifr_name, strnlen(request.ifr_name, sizeof request.ifr_name)));
    }
  }
  platform::Close(sock);
}

int MonitoringDataHolder::setDipValue(int32_t value) {
  if (!StoreIfChanged(dipValue, value)) {
    return 0;
  }
  (void)MonitoringFiles::SaveStatusToFile(MonitoringFiles::kDipPath, DipStatusSaver());
  return 1;
}

int MonitoringDataHolder::setPowerStatus(LGCP::POWERStatus::NamedNumber status) {
  if (boardPowerStatus.getValue() == status) {
    return 0;
  }
  boardPowerStatus.setValue(status);
  (void)MonitoringFiles::SaveStatusToFile(MonitoringFiles::kPowerStatusPath, PowerStatusSaver());
  return 1;
}

int MonitoringDataHolder::setConfigVersion(uint32_t first, uint64_t second) {
  if (!StoreIfChanged(configVersion, std::make_pair(first, second))) {
    return 0;
  }
  (void)MonitoringFiles::SaveStatusToFile(MonitoringFiles::kConfigVersionPath, ConfigVersionSaver());
  return 1;
}

int MonitoringDataHolder::setTemperature(const std::string& text) {
  return StoreIfChanged(temperature, text);
}

int MonitoringDataHolder::setBuildVersion(const std::string& text) {
  return StoreIfChanged(buildVersion, text);
}

int MonitoringDataHolder::setFPGAVersion(const std::string& text) {
  return StoreIfChanged(fpgaVersion, text);
}

int MonitoringDataHolder::setBootVersion(const std::string& text) {
  return StoreIfChanged(bootVersion, text);
}

int MonitoringDataHolder::setBoardVersion(const std::string& text) {
  return StoreIfChanged(boardVersion, text);
}

int MonitoringDataHolder::setControllerStatus(const LGCP::ControllerInfo& report) {
  INet4::Addr address;
  // Text that is no IPv4 address leaves 0.0.0.0.
  (void)address.Assign(host2str(report.get_host()));
  const bool is_self = address.IsEqual(selfAddress);
  if (is_self) {
    selfControllerStatus = report.get_status();
  }
  bool changed = true;
  auto held = std::find_if(controllers.begin(), controllers.end(), [&report](const LGCP::ControllerInfo& entry) {
    return entry.get_host().compare(report.get_host()) == 0;
  });
  if (held == controllers.end()) {
    controllers.push_back(report);
  } else {
    changed = held->get_status().getValue() != report.get_status().getValue();
    held->get_status() = report.get_status();
  }
  if (!changed) {
    return 0;
  }
  const std::string dotted = DottedAddress(address);
  if (traces.monitoring.internal) {
    std::clog << "New controller " << dotted << " status - " << report.get_status() << std::endl;
  }
  MonitoringFiles::CheckForMonControllerDir(dotted, is_self);
  (void)MonitoringFiles::SaveStatusToFile(MonitoringFiles::kControllerDir + dotted + "/status",
                                          ControllerStatusSaver(report.get_status()));
  return is_self ? 1 : 0;
}

void MonitoringDataHolder::setDisplayStatus(const LGCP::DisplayParams& params) {
  switch (params.alternative()) {
    case LGCP::DisplayParams::Alternative::board:
      setBoardStatus(params.get_board());
      return;
    case LGCP::DisplayParams::Alternative::snmpTrapReceivers:
      setSnmpTrapReceivers(params.get_snmpTrapReceivers());
      return;
    case LGCP::DisplayParams::Alternative::framer:
      // The framer LEDs are the service's.
      return;
    case LGCP::DisplayParams::Alternative::emPhone:
      setEmPhoneInfo(params.get_emPhone());
      return;
    case LGCP::DisplayParams::Alternative::controller:
      (void)setControllerStatus(params.get_controller());
      return;
    case LGCP::DisplayParams::Alternative::termCounter:
      setTermCounter(params.get_termCounter());
      return;
    case LGCP::DisplayParams::Alternative::snmp_set:
      setSnmpCommands(params.get_snmp_set());
      return;
    default:
      // An alternative added to the schema later carries nothing held here.
      return;
  }
}

void MonitoringDataHolder::setBoardStatus(const LGCP::BoardInfo& info) {
  if (!info.is_boardStatus()) {
    return;
  }
  const LGCP::BoardStatusParams& board = info.get_boardStatus();
  // Merged before the file is written, so a full disk loses no record from
  // later resends.
  const int position = board.get_position().getValue();
  auto held = std::find_if(boards.begin(), boards.end(), [position](const LGCP::BoardStatusParams& entry) {
    return entry.get_position().getValue() == position;
  });
  if (held == boards.end()) {
    boards.push_back(board);
  } else {
    *held = board;
  }
  (void)MonitoringFiles::SaveStatusToFile(MonitoringFiles::kBoardPrefix + std::to_string(position),
                                          BoardStatusSaver(board));
}

void MonitoringDataHolder::setEmPhoneInfo(const LGCP::EmPhoneInfo& info) {
  if (!info.is_phoneStatus()) {
    return;
  }
  const LGCP::EmPhoneStatusParams& phone = info.get_phoneStatus();
  const int id = phone.get_id().getValue();
  auto held = std::find_if(emPhones.begin(), emPhones.end(),
                           [id](const LGCP::EmPhoneStatusParams& entry) { return entry.get_id().getValue() == id; });
  if (held == emPhones.end()) {
    emPhones.push_back(phone);
  } else {
    *held = phone;
  }
  (void)MonitoringFiles::SaveStatusToFile(MonitoringFiles::kEmPhonePrefix + std::to_string(id),
                                          PhoneStatusSaver(phone));
}

void MonitoringDataHolder::setTermCounter(const LGCP::TermCounter& counter) {
  const std::string path = TermCounterPath(counter);
  if (!path.empty()) {
    (void)MonitoringFiles::SaveStatusToFile(path, TermCounterSaver(counter.get_cnt().getValue()));
  }
  auto held = std::find_if(termCounters.begin(), termCounters.end(),
                           [&counter](const LGCP::TermCounter& entry) { return SameCounterOwner(entry, counter); });
  if (held == termCounters.end()) {
    termCounters.push_back(counter);
    return;
  }
  held->get_cnt() = counter.get_cnt();
}

void MonitoringDataHolder::setSnmpTrapReceivers(const ASN1::SEQUENCE_OF<ASN1::IA5String>& receivers) {
  trapReceivers.clear();
  if (traces.monitoring.internal) {
    std::clog << "Trap receivers:" << receivers << std::endl;
  }
  for (const ASN1::IA5String& receiver : receivers) {
    trapReceivers.push_back(receiver);
  }
}

void MonitoringDataHolder::setSnmpCommands(const MON::SnmpSetCommands& commands) {
  for (const MON::SnmpSetCommand& command : commands.get_commands()) {
    if (MON::SnmpSetCommand* held = FindSnmpCommand(snmpSetCommands, command.get_id())) {
      held->get_value() = command.get_value();
    } else {
      snmpSetCommands.get_commands().push_back(command);
    }
    if (command.get_id().is_name()) {
      SaveSnmpSetValue(command.get_id().get_name(), command.get_value());
    }
  }
}

void MonitoringDataHolder::SaveSnmpSetValue(const MON::IniName& name, const std::string& value) {
  const std::string section = name.get_section();
  const std::string index = std::to_string(name.get_index().getValue());
  const std::string entry = name.get_name();
  if (!IsSafeEntryName(section) || !IsSafeEntryName(entry) || MonitoringFiles::IsServerEntry(section)) {
    std::cerr << "refused snmp-set name " << MonitoringFiles::Printable(section) << "/" << index << "/"
              << MonitoringFiles::Printable(entry) << std::endl;
    return;
  }
  const std::string section_dir = MonitoringFiles::kRoot + section;
  MonitoringFiles::CheckForMonDir(section_dir);
  MonitoringFiles::CheckForMonDir(section_dir + "/" + index);
  (void)MonitoringFiles::SaveStatusToFile(section_dir + "/" + index + "/" + entry, StringParamSaver(value));
}

void MonitoringDataHolder::ClearControllerFiles() {
  if (MonitoringFiles::ClearBoardFiles()) {
    boards.clear();
  }
}
