#include "monitoring/SnmpAgentInstance.h"

#include "asn1/CoderEnv.h"
#include "monitoring/ISnmpAgentNotify.h"
#include "runtime/clock/Mux.h"
#include "schemas/MON.h"

#include <iostream>
#include <iterator>
#include <vector>

const IniFile::Symbol<SnmpAgentInstance::MonitoringAddressType> monitoringAddressTypes[] = {
    {"lemzgw", SnmpAgentInstance::lemzgw},
    {"lemzgw.kl", SnmpAgentInstance::lemzgw_kl},
    {"vost", SnmpAgentInstance::vost},
    {nullptr, SnmpAgentInstance::none},
};

SnmpAgentInstance::~SnmpAgentInstance() {
  ping_timer_.reset();
  // The connector goes first: it must not call back into a half-destroyed link.
  connector_.reset();
}

void SnmpAgentInstance::Activate(IniFile::SubSection& block) {
  header_ = name_;
  std::string host;
  IniFile::Reader reader("snmpagent: ", std::cerr);
  reader.required.add(&host, "host");
  reader.required.add(&name_, "name");
  reader.required.add(&address_type_, "name", monitoringAddressTypes);
  if (!reader.parse(block) || !ReadHost(host)) {
    return;
  }
  state_ = 1;
  const std::string address = address_.GetString();
  connector_ = std::make_unique<Control::ConnectorNet>(address);
  header_ = "snmpagent." + name_ + " " + address;
  connector_->service_name(header_);
  connector_->Bind(this);
  static_cast<void>(connector_->Activate());
}

bool SnmpAgentInstance::ReadHost(const std::string& host) {
  if (host.find(':') == std::string::npos) {
    return false;
  }
  int port = 0;
  // Neither this host nor a port cut to 16 bits is ever the agent meant.
  if (!address_.Assign(host, &port) || port < 1 || port > 65535) {
    std::cerr << "snmpagent: invalid host value=\"" << host << "\"" << std::endl;
    return false;
  }
  return true;
}

void SnmpAgentInstance::Command(const MON::Command& command) {
  MON::Message message;
  message.get_pdu().select_command() = command;
  Send(message);
}

void SnmpAgentInstance::Send(const MON::Message& message) {
  if (connector_ == nullptr || connector_->state() != Control::Service::State::Connected) {
    return;
  }
  std::vector<char> bytes;
  ASN1::CoderEnv env(ASN1::CoderEnv::per_Aligned);
  if (!ASN1::encode(message, &env, std::back_inserter(bytes))) {
    std::clog << header_ << ": encode MON message fail!!!" << std::endl;
    return;
  }
  connector_->Send(bytes.data(), static_cast<int>(bytes.size()));
  SetPingTimer();
  const uint32_t now = Mux::milliseconds();
  if (static_cast<int32_t>(now - last_receive_) > kSilenceLimitMs) {
    std::clog << header_ << ": ping timeout !!!"
              << " now=" << now << " stamp=" << last_receive_ << std::endl;
    connector_->Disconnect();
  }
}

void SnmpAgentInstance::SetPingTimer() {
  ping_timer_.set(kPingMs, &SnmpAgentInstance::OnPingTimer, this);
}

void SnmpAgentInstance::OnPingTimer(Timer*) {
  MON::Command ping;
  ping.select_ping();
  Command(ping);
}

void SnmpAgentInstance::OnConnect() {
  state_ = 2;
  std::clog << header_ << ": connected." << std::endl;
  last_receive_ = Mux::milliseconds();
  if (owner_ != nullptr) {
    owner_->OnSnmpAgentConnect(name_);
  }
}

void SnmpAgentInstance::OnDisconnect() {
  std::clog << header_ << ": connection lost, reset snmpagent instance" << std::endl;
  ping_timer_.reset();
  if (state_ == 2) {
    state_ = 3;
  }
}

void SnmpAgentInstance::OnMessage(const char* data, int len) {
  // Anything the agent sends, even junk, shows it is alive.
  last_receive_ = Mux::milliseconds();
  MON::Message message;
  ASN1::CoderEnv env(ASN1::CoderEnv::per_Aligned);
  if (!ASN1::decode(data, data + len, &env, message, true)) {
    std::cerr << header_ << ": receive : decode error!" << std::endl;
    return;
  }
  OnMessage(message);
}

void SnmpAgentInstance::OnMessage(const MON::Message& message) {
  const MON::PDU& pdu = message.get_pdu();
  if (pdu.is_response()) {
    OnResponse(pdu.get_response());
    return;
  }
  if (pdu.is_signal()) {
    OnSignal(pdu.get_signal());
    return;
  }
  std::cerr << header_ << ": receive unknown message type" << std::endl;
}
