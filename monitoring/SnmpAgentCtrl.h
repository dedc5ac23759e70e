#pragma once

#include "runtime/config/IniFile.h"
#include "runtime/loop/Dpc.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

class ISnmpAgentNotify;
class SnmpAgentInstance;

namespace MON {
class Command;
class SnmpSetCommands;
}  // namespace MON

// The feed of the SNMP agents: one link per configured agent, the table of
// monitored items, and two queues (keyed by address-type bit) of pending
// snmp-set commands, flushed by a deferred call so that everything queued
// before it runs leaves together. Owns the links, the queues and the call.
class SnmpAgentCtrl {
 public:
  // The row of the item table: the key by which callers name an item.
  enum MonitoringItemType : int32_t {
    driverBuild,
    softwareBuild,
    powerStatus,
    controllerStatus,
    gatewayDip,
    gatewayConfigVersion,
    extBoardStatus,
    extBoardSoftVer,
    extBoardType,
    emPhonePanelSoftVer,
    emPhoneCtrlSoftVer,
    emPhoneFpgaSoftVer,
    emPhoneStatus,
    emPhonePowerStatus,
    emPhoneMode,
    emPhoneHookStatus,
    emPhoneBaseStatus,
    routerTermCnt,
    controllerTermCnt,
    serverTermCnt,
    extBoardTermCnt,
    e1Connected,
    e1StatusDsc,
    e1SignalLoss,
    e1FrameAlignLoss,
    e1NegSlipCount,
    e1PosSlipCount,
    sgBuildVersion,
    sgFPGAVersion,
    sgBootVersion,
    sgBoardVersion,
    ifDescr,
    ifAdminStatus,
    ifOperStatus,
    temperature,
  };

  struct MonitoringItem {
    MonitoringItemType type;
    // The address-type bits whose queues receive the item.
    int32_t mask;
    const char* group;
    const char* name;
  };

  // An agent refuses a list of more elements, and a TPKT frame holds at most
  // 65531 bytes: longer lists (snmp-set commands, trap sinks) leave in
  // consecutive messages within both.
  static constexpr size_t kMaxCommandsPerMessage = 128;
  static constexpr size_t kMaxMessageBytes = 60000;

  SnmpAgentCtrl();
  SnmpAgentCtrl(const SnmpAgentCtrl&) = delete;
  SnmpAgentCtrl& operator=(const SnmpAgentCtrl&) = delete;
  virtual ~SnmpAgentCtrl();

  // One link per block of the section, in file order.
  void CreateInstances(IniFile::Section& section);
  void Bind(ISnmpAgentNotify* owner);
  void UnBind();

  // Queues the item for the next flush: scalar items at row index 0.
  void Send(MonitoringItemType type, const std::string& value);
  void Send(MonitoringItemType type, int32_t index, const std::string& value);
  // Sends the commands to every link at once; an empty list sends nothing.
  void Send(const MON::SnmpSetCommands& commands);
  // The trap sinks to every link at once, in as many commands as the limits
  // above need; an empty list sends nothing.
  void SendTrapsink(const std::vector<std::string>& hosts);
  // Sends every non-empty queue to every link and empties it.
  void OnDpcSend();

  const std::vector<std::unique_ptr<SnmpAgentInstance>>& links() const { return links_; }
  // The uniq value after this one: positive, wrapping from the largest to 1.
  static int32_t NextUniq(int32_t uniq);

 private:
  // Hands the list to every link in messages within the limits above.
  void SendInParts(const MON::SnmpSetCommands& commands);
  void SendToLinks(const MON::Command& command);

  std::vector<std::unique_ptr<SnmpAgentInstance>> links_;
  Dpc flush_call_;
  // The next uniq value.
  int32_t uniq_ = 1;
  ISnmpAgentNotify* owner_ = nullptr;
  // The pending snmp-set commands of address-type bits 2 and 4, visited in
  // key order; built once and reused.
  std::map<int32_t, std::unique_ptr<MON::SnmpSetCommands>> queues_;
};
