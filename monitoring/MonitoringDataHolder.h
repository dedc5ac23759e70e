#pragma once

#include "monitoring/FramerDataHolder.h"
#include "monitoring/NetIfDataHolder.h"
#include "runtime/net/INet4.h"
#include "schemas/HSP.h"
#include "schemas/LGCP.h"
#include "schemas/MON.h"
#include "schemas/TERM.h"

#include <cstdint>
#include <list>
#include <string>
#include <utility>

// The address as a dotted quad, without the port.
std::string DottedAddress(const INet4::Addr& address);
// The address text of a host, without its port: what the monitoring state
// parses a controller's address from.
std::string host2str(const TERM::HostAddress& host);

// The board's state as monitoring last saw it: what the periodic checks read
// (DIP switches, power, versions, temperature, the local controller, framers,
// network links) and what the controller reports in display commands
// (extension boards, emPhones, counters, controllers, SNMP settings). Setters
// compare with what is held and say whether it changed, so SNMP items go out
// only on change; most of them also mirror the value into its file under
// "/var/monitoring/" (MonitoringFiles). The service reads the fields directly.
class MonitoringDataHolder {
 public:
  // Empties "/var/monitoring/", finds the board's own address, its framers and
  // network interfaces, and makes the directories.
  MonitoringDataHolder();
  // Empties "/var/monitoring/" again.
  ~MonitoringDataHolder();
  MonitoringDataHolder(const MonitoringDataHolder&) = delete;
  MonitoringDataHolder& operator=(const MonitoringDataHolder&) = delete;

  // 1 when the value changed (and its file was written), else 0.
  [[nodiscard]] int setDipValue(int32_t value);
  [[nodiscard]] int setPowerStatus(LGCP::POWERStatus::NamedNumber status);
  [[nodiscard]] int setConfigVersion(uint32_t first, uint64_t second);
  // 1 when the text changed; these write no file.
  [[nodiscard]] int setTemperature(const std::string& text);
  [[nodiscard]] int setBuildVersion(const std::string& text);
  [[nodiscard]] int setFPGAVersion(const std::string& text);
  [[nodiscard]] int setBootVersion(const std::string& text);
  [[nodiscard]] int setBoardVersion(const std::string& text);
  // 1 when the report changed the controller at the board's own address.
  [[nodiscard]] int setControllerStatus(const LGCP::ControllerInfo& report);

  // A display command's content; never refused.
  void setDisplayStatus(const LGCP::DisplayParams& params);
  void setBoardStatus(const LGCP::BoardInfo& info);
  void setEmPhoneInfo(const LGCP::EmPhoneInfo& info);
  void setTermCounter(const LGCP::TermCounter& counter);
  void setSnmpTrapReceivers(const ASN1::SEQUENCE_OF<ASN1::IA5String>& receivers);
  void setSnmpCommands(const MON::SnmpSetCommands& commands);

  // The controller went away: its board files and boards go until reported again.
  void ClearControllerFiles();

  // The savers: the contents of each file under "/var/monitoring/", which the
  // files take whole (MonitoringFiles::SaveStatusToFile). The first three
  // give the held value.
  [[nodiscard]] std::string DipStatusSaver() const;
  // One digit: a status the schema does not know gives "0".
  [[nodiscard]] std::string PowerStatusSaver() const;
  // "00001a2b-0000000000000005": the two parts in lowercase hexadecimal, 8 and 16 digits.
  [[nodiscard]] std::string ConfigVersionSaver() const;
  // Status, version and type, a line each.
  [[nodiscard]] static std::string BoardStatusSaver(const LGCP::BoardStatusParams& board);
  // The three versions, then status, power, mode, hook and base, a line each.
  [[nodiscard]] static std::string PhoneStatusSaver(const LGCP::EmPhoneStatusParams& phone);
  [[nodiscard]] static std::string ControllerStatusSaver(const HSP::ControllerStatus& status);
  [[nodiscard]] static std::string TermCounterSaver(int count);
  // An snmp-set value as the controller sent it.
  [[nodiscard]] static std::string StringParamSaver(const std::string& text);
  // The board's channel status has no file of its own: empty contents.
  [[nodiscard]] static std::string BoardChannelStatusSaver();

  INet4::Addr selfAddress;
  HSP::ControllerStatus selfControllerStatus;
  // The pid last found for the local controller process, the hint of the next search.
  int32_t controllerPid = -1;
  std::list<LGCP::ControllerInfo> controllers;
  LGCP::POWERStatus boardPowerStatus;
  std::list<LGCP::BoardStatusParams> boards;
  std::list<LGCP::EmPhoneStatusParams> emPhones;
  std::list<LGCP::TermCounter> termCounters;
  std::list<std::string> trapReceivers;
  int32_t dipValue = -1;
  std::pair<uint32_t, uint64_t> configVersion{~uint32_t{0}, ~uint64_t{0}};
  std::string temperature;
  std::string buildVersion;
  std::string fpgaVersion;
  std::string bootVersion;
  std::string boardVersion;
  MON::SnmpSetCommands snmpSetCommands;
  // One per framer status file present at start; the path is the board's.
  std::list<FramerDataHolder> framers;
  // One per network interface named at start, in index order.
  std::list<NetIfDataHolder> netIfs;

 private:
  void FindSelfAddress();
  void FindFramers();
  void FindNetIfs();
  void SaveSnmpSetValue(const MON::IniName& name, const std::string& value);
};
