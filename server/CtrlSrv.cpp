#include "server/CtrlSrv.h"

#include "asn1/CoderEnv.h"
#include "runtime/log/Ext.h"

#include <algorithm>
#include <cassert>
#include <iostream>
#include <iterator>
#include <utility>

CtrlSrv::Server ctrlServer;

namespace CtrlSrv {

namespace {

// The highest slot number the controller may name.
constexpr unsigned kMaxSlot = 1023;

void SetSeq(LGCP::Message& message, int32_t seq) {
  message.include_seq().setValue(seq);
}

void SetSlot(LGCP::Message& message, unsigned slot) {
  if (slot == kNoSlot) {
    return;
  }
  message.include_slot() = slot;
}

bool IsConnected(const Control::Service& connection) {
  return connection.state() == Control::Service::State::Connected;
}

}  // namespace

// --- Service -----------------------------------------------------------------------------------------------------

Service::~Service() {
  if (server_ != nullptr) {
    server_->Unbind(this);
  }
}

void Service::OnSignal(const LGCP::Signal&) {}

bool Service::IsBound() const {
  if (server_ == nullptr) {
    std::cerr << "CtrlSrv::Service error! service not connected to server." << std::endl;
    return false;
  }
  return true;
}

void Service::Success() {
  if (IsBound()) {
    server_->Success();
  }
}

void Service::Error(LGCP::ErrorCause::NamedNumber cause) {
  if (IsBound()) {
    server_->Error(cause);
  }
}

void Service::SendSignal(const LGCP::Signal& signal) {
  if (IsBound()) {
    SendSignal(server_->GetSlot(), signal);
  }
}

void Service::SendSignal(unsigned slot, const LGCP::Signal& signal) {
  if (!IsBound()) {
    return;
  }
  server_->ShowSignal(this, signal);
  server_->SendSignal(slot, signal);
}

unsigned Service::GetSlot() const {
  return IsBound() ? server_->GetSlot() : kNoSlot;
}

bool Service::IsSlotPresent() const {
  return IsBound() && server_->IsSlotPresent();
}

DelayedSeq Service::delayResponse() {
  return IsBound() ? server_->delayResponse() : std::nullopt;
}

void Service::delayedSuccess(unsigned slot, DelayedSeq seq) {
  if (IsBound()) {
    server_->delayedSuccess(slot, seq);
  }
}

bool Service::CheckServerConnection(bool& connected) const {
  return server_ != nullptr && server_->CheckServerConnection(connected);
}

// --- Server: binding and the connection --------------------------------------------------------------------------

Server::~Server() {
  Deactivate();
  for (Service* service : services_) {
    service->server_ = nullptr;
  }
}

void Server::Bind(Service* service) {
  assert(service->server_ == nullptr && "a service is bound to one server once");
  services_.push_back(service);
  service->server_ = this;
}

void Server::Unbind(Service* service) {
  services_.erase(std::remove(services_.begin(), services_.end(), service), services_.end());
}

bool Server::Activate(std::unique_ptr<Control::Service> connection) {
  Deactivate();
  connection_ = std::move(connection);
  connection_->service_name("server");
  connection_->Bind(this);
  return connection_->Activate();
}

void Server::Deactivate() {
  if (connection_ == nullptr) {
    return;
  }
  connection_->Deactivate();
  // Every slot goes with the controller, at shutdown too.
  OnDisconnect();
  connection_->UnBind();
  connection_.reset();
}

bool Server::CheckServerConnection(bool& connected) const {
  if (connection_ == nullptr) {
    return false;
  }
  connected = IsConnected(*connection_);
  return true;
}

void Server::OnHeartbeatTimeout() {
  if (connection_ != nullptr) {
    connection_->Disconnect();
  }
}

void Server::PutHeader(std::ostream& os) const {
  if (connection_ == nullptr) {
    os << "ctrl [null]: ";
  } else if (IsConnected(*connection_)) {
    os << "ctrl [" << connection_->peer() << "]: ";
  } else {
    os << "ctrl [not connected]: ";
  }
}

void Server::OnConnect() {
  std::clog << ext::header(this) << "controller connect." << std::endl;
  for (size_t i = 0; i < services_.size(); ++i) {
    services_[i]->OnConnect();
  }
}

void Server::OnDisconnect() {
  for (size_t i = 0; i < services_.size(); ++i) {
    services_[i]->OnDisconnect();
  }
}

// --- Server: receiving -------------------------------------------------------------------------------------------

void Server::OnMessage(const char* data, int length) {
  assert(length >= 0 && "the transport hands over whole payloads");
  LGCP::Message message;
  ASN1::CoderEnv env(ASN1::CoderEnv::per_Aligned);
  if (ASN1::decode(data, data + length, &env, message, true)) {
    Handle(message);
  } else {
    std::cerr << ext::header(this) << "receive fail: decode error!" << std::endl;
    std::cerr << " msg: " << ext::OutBufInHex(data, data + length) << std::endl;
  }
  slot_ = kNoSlot;
}

void Server::Handle(const LGCP::Message& message) {
  answer_state_ = AnswerState::kNothingSent;
  has_seq_ = message.has_seq();
  if (has_seq_) {
    seq_ = message.get_seq().getValue();
  }
  const LGCP::PDU& pdu = message.get_pdu();
  if (!pdu.is_command()) {
    Error(LGCP::ErrorCause::unexpectedMsgType);
    return;
  }
  if (message.has_slot()) {
    slot_ = message.get_slot().getValue();
    if (slot_ > kMaxSlot) {
      slot_ = kNoSlot;
      Error(LGCP::ErrorCause::invalidSlot);
      return;
    }
  }
  if (!Dispatch(pdu.get_command())) {
    Error(LGCP::ErrorCause::unexpectedMsgType);
    return;
  }
  if (answer_state_ == AnswerState::kNothingSent) {
    std::cerr << ext::header(this) << "software error: server do NOT send ack!!!" << std::endl;
    Error(LGCP::ErrorCause::internal);
  }
}

bool Server::Dispatch(const LGCP::Command& command) {
  // By index: a service may bind another while it handles a command.
  for (size_t i = 0; i < services_.size(); ++i) {
    if (services_[i]->OnCommand(command)) {
      return true;
    }
  }
  return false;
}

void Server::ShowSignal(const Service* sender, const LGCP::Signal& signal) {
  for (size_t i = 0; i < services_.size(); ++i) {
    if (services_[i] != sender) {
      services_[i]->OnSignal(signal);
    }
  }
}

// --- Server: answers and signals ---------------------------------------------------------------------------------

LGCP::Message Server::Answer() const {
  LGCP::Message message;
  if (has_seq_) {
    SetSeq(message, seq_);
  }
  SetSlot(message, slot_);
  return message;
}

void Server::Success() {
  if (answer_state_ != AnswerState::kNothingSent) {
    return;
  }
  answer_state_ = AnswerState::kAnswered;
  LGCP::Message message = Answer();
  message.get_pdu().select_response().select_success();
  SendMsg(message);
}

void Server::Error(LGCP::ErrorCause::NamedNumber cause) {
  if (answer_state_ == AnswerState::kFailed) {
    return;
  }
  answer_state_ = AnswerState::kFailed;
  LGCP::Message message = Answer();
  message.get_pdu().select_response().select_error().setValue(cause);
  SendMsg(message);
}

DelayedSeq Server::delayResponse() {
  answer_state_ = AnswerState::kAnswered;
  return has_seq_ ? DelayedSeq(seq_) : std::nullopt;
}

void Server::delayedSuccess(unsigned slot, DelayedSeq seq) {
  LGCP::Message message;
  if (seq) {
    SetSeq(message, *seq);
  }
  SetSlot(message, slot);
  message.get_pdu().select_response().select_success();
  SendMsg(message);
}

void Server::SendSignal(const LGCP::Signal& signal) {
  SendSignal(slot_, signal);
}

void Server::SendSignal(unsigned slot, const LGCP::Signal& signal) {
  LGCP::Message message;
  SetSlot(message, slot);
  message.get_pdu().select_signal() = signal;
  SendMsg(message);
}

void Server::SendMsg(const LGCP::Message& message) {
  std::vector<char> bytes;
  bytes.reserve(200);
  ASN1::CoderEnv env(ASN1::CoderEnv::per_Aligned);
  if (!ASN1::encode(message, &env, std::back_inserter(bytes))) {
    // Printed apart from the error stream: a value that fails to print must not leave that stream failed.
    std::cerr << ext::header(this) << "send fail: encode error!" << message.asValueNotation() << std::endl;
    return;
  }
  if (connection_ == nullptr) {
    std::cerr << ext::header(this) << "send fail: Service not attached!" << std::endl;
    return;
  }
  connection_->Send(bytes.data(), static_cast<int>(bytes.size()));
}

}  // namespace CtrlSrv
