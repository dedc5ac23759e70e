#pragma once

#include "monitoring/ISnmpAgentNotify.h"
#include "monitoring/MonitoringDataHolder.h"
#include "monitoring/SnmpAgentCtrl.h"
#include "runtime/config/IniFile.h"
#include "runtime/loop/Dpc.h"
#include "runtime/loop/Timer.h"
#include "schemas/ACP.h"
#include "schemas/LGCP.h"
#include "server/CtrlSrv.h"

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>

// The board-health service: runs the periodic board checks, takes the
// controller's display command, drives the framer LEDs on "/dev/hal", follows
// the trunk status signals, sends the power signal and feeds every change to
// the SNMP agents. Owns the monitoring state (and with it the files under
// "/var/monitoring/"), the agent links, its "/dev/hal" descriptor, three check
// timers and the deferred full resend of the SNMP items.
class MonitoringCtl : public CtrlSrv::Service, public ISnmpAgentNotify {
 public:
  // The process-wide service, built on the first call.
  static MonitoringCtl& instance();

  // Empties "/var/monitoring/", finds the framers and interfaces, arms the
  // check timers.
  MonitoringCtl();
  ~MonitoringCtl() override;

  // Creates the agent links of the section "snmpagent"; start-up calls it once.
  void Configure(IniFile::File& file);
  // All framer LEDs off, "/dev/hal" closed, checks and agent links stopped,
  // "/var/monitoring/" emptied; the service takes nothing afterwards. Called
  // while the event loop still exists.
  void Shutdown();

  void OnConnect() override;
  void OnDisconnect() override;
  bool OnCommand(const LGCP::Command& command) override;
  void OnSignal(const LGCP::Signal& signal) override;
  void OnSnmpAgentConnect(const std::string& name) override;

  // The board checks, each sending what changed.
  void doVersionsCheck();
  void doConfigCheck();
  void doFramerCheck();
  void doTemperatureCheck();
  void doPowerCheck();
  void doDipCheck();
  void doNetIfCheck();
  void doControllerCheck();

  // Queues every SNMP item once and sends the stored trap sinks and snmp-set commands.
  void OnDpcSend();

  // "monitoring: ", the start of the service's own log lines.
  void PutHeader(std::ostream& os) const;

  // Null after Shutdown.
  const MonitoringDataHolder* holder() const { return holder_.get(); }
  uint8_t ledByte() const { return led_byte_; }

 private:
  bool IsOpen();
  void WriteLeds();
  void OnDisplayCMD(const LGCP::DisplayParams& params);
  void setFramerLed(const LGCP::FramerInfo& framer);
  void OnTrunkStatus(const ACP::TrunkStatus& status);
  void sendPowerStatus();

  // Each runs its checks and sets its timer again, so a period counts from
  // the end of the last run.
  void onBkgCheckTimer(Timer* timer);
  void onPowerCheckTimer(Timer* timer);
  void onControllerCheckTimer(Timer* timer);

  void sendSnmpDriverBuild();
  void sendSnmpSoftwareBuild();
  void sendSnmpPowerStatus();
  void sendSnmpControllerStatus();
  void sendSnmpGatewayDip();
  void sendSnmpGatewayConfigVersion();
  void sendSnmpBoardStatus(const LGCP::BoardStatusParams& board);
  void sendSnmpBoardStatuses();
  void sendSnmpEmPhoneStatus(const LGCP::EmPhoneStatusParams& phone);
  void sendSnmpEmPhoneStatuses();
  // The counters of every owner, in the order below.
  void sendSnmpTermCnts();
  void sendSnmpRouterTermCnt();
  void sendSnmpControllerTermCnt();
  void sendSnmpServerTermCnt();
  // By owner id; a counter without one has no row.
  void sendSnmpBoardTermCnt();
  // The stored counters of one owner as its item.
  void sendSnmpTermCnt(LGCP::TermCounterOwner::NamedNumber owner, SnmpAgentCtrl::MonitoringItemType type);
  void sendSnmpFramerStatus(const FramerDataHolder& framer);
  void sendSnmpFramerStatus();
  void sendSnmpStatusBuildVersion();
  void sendSnmpStatusFPGAVersion();
  void sendSnmpStatusBootVersion();
  void sendSnmpStatusBoardVersion();
  void sendSnmpNetIfStatus(const NetIfDataHolder& net_if);
  void sendSnmpNetIfStatus();
  void sendSnmpTemperature();
  void sendSnmpTrapReceivers();
  void sendSnmpCommands();

  int halFd = -1;
  std::unique_ptr<MonitoringDataHolder> holder_;
  std::unique_ptr<SnmpAgentCtrl> agents_;
  Timer bkgCheckTimer;
  Timer powerCheckTimer;
  Timer controllerCheckTimer;
  // Two bits per E1 framer n: 1 << 2n and 2 << 2n.
  uint8_t led_byte_ = 0;
  Dpc sendDpc;
};
