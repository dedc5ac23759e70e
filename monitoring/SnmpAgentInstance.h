#pragma once

#include "runtime/config/IniFile.h"
#include "runtime/config/IniFileReader.h"
#include "runtime/loop/Timer.h"
#include "runtime/net/INet4.h"
#include "runtime/transport/ControlConnectorNet.h"

#include <cstdint>
#include <memory>
#include <string>

class ISnmpAgentNotify;

namespace MON {
class Command;
class Message;
class Response;
class Signal;
}  // namespace MON

// One outgoing TCP link to an SNMP agent, configured by one "snmpagent" block.
// It carries one MON message per TPKT frame, pings an idle agent, drops an
// agent that stays silent too long (the connector then reconnects by itself)
// and tells its owner when the link comes up. Owns its connector and ping timer.
class SnmpAgentInstance : public Control::Notify {
 public:
  // Bits: which kind of agent the block names.
  enum MonitoringAddressType : int32_t { none = 0, lemzgw = 1, vost = 2, lemzgw_kl = 4 };

  SnmpAgentInstance() = default;
  SnmpAgentInstance(const SnmpAgentInstance&) = delete;
  SnmpAgentInstance& operator=(const SnmpAgentInstance&) = delete;
  ~SnmpAgentInstance() override;

  // Reads the block and, when it is sound, starts connecting; a faulty block
  // leaves a link without connector that ignores every send.
  void Activate(IniFile::SubSection& block);
  // Wraps the command in a message and sends it.
  void Command(const MON::Command& command);
  // Encodes and sends while connected; dropped otherwise.
  void Send(const MON::Message& message);
  void SetPingTimer();
  void OnPingTimer(Timer*);

  void OnConnect() override;
  void OnDisconnect() override;
  void OnMessage(const char* data, int len) override;
  void OnMessage(const MON::Message& message);
  void OnResponse(const MON::Response&) {}
  void OnSignal(const MON::Signal&) {}

  void owner(ISnmpAgentNotify* owner) { owner_ = owner; }
  int32_t state() const { return state_; }
  MonitoringAddressType address_type() const { return address_type_; }
  const std::string& name() const { return name_; }
  const std::string& header() const { return header_; }
  const Control::ConnectorNet* connector() const { return connector_.get(); }

  static constexpr unsigned kPingMs = 5000;
  static constexpr int32_t kSilenceLimitMs = 30000;

 private:
  // The agent's address from the host text; false (after a line when the
  // text is faulty, silently without a port) when no link can be made.
  [[nodiscard]] bool ReadHost(const std::string& host);

  std::unique_ptr<Control::ConnectorNet> connector_;
  MonitoringAddressType address_type_ = none;
  std::string name_;
  std::string header_;
  INet4::Addr address_;
  // 0 not configured, 1 link made, 2 connected, 3 connection lost.
  int32_t state_ = 0;
  uint32_t last_receive_ = 0;
  Timer ping_timer_;
  ISnmpAgentNotify* owner_ = nullptr;
};

// The names of the address types in the "name" key of a block.
extern const IniFile::Symbol<SnmpAgentInstance::MonitoringAddressType> monitoringAddressTypes[];
