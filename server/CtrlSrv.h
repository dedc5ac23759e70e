#pragma once

#include "runtime/transport/ControlService.h"
#include "schemas/LGCP.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <vector>

// The controller link: the one server endpoint and the services bound to it.
namespace CtrlSrv {

class Server;

// The all-ones slot number: the command named no slot.
constexpr unsigned kNoSlot = ~0u;

// The sequence number of a command whose answer was delayed; empty when the command carried none, so that a
// sequence number of -1 stays distinguishable from its absence.
using DelayedSeq = std::optional<int32_t>;

// A service bound to the controller server: hears the controller's connect and disconnect, is offered every command
// in bind order, answers the commands it takes and sends signals. The server is borrowed; either side's destruction
// breaks the binding.
class Service {
 public:
  Service() = default;
  Service(const Service&) = delete;
  Service& operator=(const Service&) = delete;
  virtual ~Service();

  virtual void OnConnect() = 0;
  virtual void OnDisconnect() = 0;
  // True when the service takes the command; it must then answer it (Success or Error) or delay it.
  virtual bool OnCommand(const LGCP::Command& command) = 0;
  // A signal another bound service is about to send.
  virtual void OnSignal(const LGCP::Signal& signal);

  // The answers and signals below do nothing but log when the service is not bound.
  void Success();
  void Error(LGCP::ErrorCause::NamedNumber cause);
  // Shows the signal to every other bound service, then sends it with the current slot (if any).
  void SendSignal(const LGCP::Signal& signal);
  // Shows the signal to every other bound service, then sends it with the given slot.
  void SendSignal(unsigned slot, const LGCP::Signal& signal);
  // The slot of the command being handled, kNoSlot for none.
  unsigned GetSlot() const;
  bool IsSlotPresent() const;
  // The current command will be answered later, by delayedSuccess with the value returned here.
  DelayedSeq delayResponse();
  // Sends a success for a delayed command, whatever has been sent since.
  void delayedSuccess(unsigned slot, DelayedSeq seq);
  // False when unbound or without a connection; otherwise tells whether the controller is connected.
  [[nodiscard]] bool CheckServerConnection(bool& connected) const;

 protected:
  // The server this service is bound to, null when unbound.
  Server* server() const { return server_; }

 private:
  friend class Server;
  // Logs the misuse when unbound.
  bool IsBound() const;

  Server* server_ = nullptr;
};

// The endpoint of the controller link. It owns the controller connection, decodes each payload as one LGCP message,
// offers each command to the bound services in bind order and keeps the answer discipline: every decoded command
// gets one success or one error (a success may come later, an error may follow a success), answers echo the
// command's sequence and slot numbers, and signals carry a slot but never a sequence number.
class Server : public Control::Notify {
 public:
  Server() = default;
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;
  ~Server() override;

  // Appends the service to the dispatch order.
  void Bind(Service* service);
  // Takes the connection over (dropping any earlier one), names it "server" and activates it.
  [[nodiscard]] bool Activate(std::unique_ptr<Control::Service> connection);
  // Drops the connection; every service then sees a disconnect.
  void Deactivate();

  void Success();
  void Error(LGCP::ErrorCause::NamedNumber cause);
  DelayedSeq delayResponse();
  void delayedSuccess(unsigned slot, DelayedSeq seq);
  void SendSignal(const LGCP::Signal& signal);
  void SendSignal(unsigned slot, const LGCP::Signal& signal);
  unsigned GetSlot() const { return slot_; }
  bool IsSlotPresent() const { return slot_ != kNoSlot; }
  [[nodiscard]] bool CheckServerConnection(bool& connected) const;
  // The controller went silent: drop its connection.
  void OnHeartbeatTimeout();
  void PutHeader(std::ostream& os) const;

  void OnConnect() override;
  void OnDisconnect() override;
  void OnMessage(const char* data, int length) override;

 private:
  friend class Service;
  enum class AnswerState { kNothingSent, kAnswered, kFailed };

  void Handle(const LGCP::Message& message);
  // Offers the command in bind order; false when nobody took it.
  bool Dispatch(const LGCP::Command& command);
  // Shows a signal to every bound service but its sender.
  void ShowSignal(const Service* sender, const LGCP::Signal& signal);
  void Unbind(Service* service);
  // An answer message carrying the current sequence and slot numbers.
  LGCP::Message Answer() const;
  void SendMsg(const LGCP::Message& message);

  std::vector<Service*> services_;
  std::unique_ptr<Control::Service> connection_;
  bool has_seq_ = false;
  int32_t seq_ = 0;
  unsigned slot_ = kNoSlot;
  AnswerState answer_state_ = AnswerState::kNothingSent;
};

}  // namespace CtrlSrv

// The process-wide controller server.
extern CtrlSrv::Server ctrlServer;
