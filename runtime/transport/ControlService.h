#pragma once

#include "runtime/clock/Measure.h"
#include "runtime/loop/Dpc.h"
#include "runtime/net/Fd.h"
#include "runtime/net/INet4.h"
#include "runtime/protocol/ProtocolsFamily.h"

#include <cstdint>
#include <string>

class StrmProtocol;

namespace Control {

// What a control service tells its user: the connection came up or went
// down, and each message that arrived.
class Notify {
 public:
  virtual ~Notify() = default;
  virtual void OnConnect() = 0;
  virtual void OnDisconnect() = 0;
  virtual void OnMessage(const char* data, int len) = 0;
};

// One message connection of the server: a stream socket carrying TPKT frames,
// one message per frame. It owns the two-layer stack (stream socket at the
// bottom, TPKT on top), keeps the connection state and reports connect,
// disconnect and messages to one bound Notify. How the socket is obtained is
// up to the subclass (listening or connecting out, TCP or Unix).
//
// The disconnect report always comes on a later loop pass than the end of the
// stack, so a Notify may send, disconnect or destroy objects from it without
// re-entering the stack that is still unwinding.
class Service : private ProtocolsFamily {
 public:
  struct State {
    // Fixed underlying type: any number is a valid value, named or not.
    enum Type : int { Idle = 0, Connecting = 1, Deactivating = 2, Connected = 3 };
  };

  ~Service() override;

  // Deactivate(), then Connecting and the subclass's start; back to Idle when
  // the start fails. Returns whether it started.
  bool Activate();
  // Stops the subclass (listener, connector) and sets Idle. A live stack stays
  // up and the Notify hears nothing.
  void Deactivate();
  // Brings the stack down; the Notify hears OnDisconnect on a later pass.
  // Ignored while a disconnect is already under way.
  void Disconnect();
  // Sends one message while Connected; dropped in every other state. While
  // Idle or Connecting (verbose) the first refusal is logged, then the number
  // of the others when the state changes, and at most once a minute.
  void Send(const char* data, int len);

  void Bind(Notify* notify) { notify_ = notify; }
  void UnBind() { notify_ = nullptr; }

  State::Type state() const { return state_; }
  const std::string& peer() const { return peer_; }
  bool verbose() const { return verbose_; }

  // The name in the stream layer's log header "SockStream[name]: ".
  void service_name(const std::string& name);
  const std::string& service_name() const;

  // Closes the stream layer's socket without bringing the stack down.
  void Release();

  uint32_t GetOverflowCounter() const;
  const Measure& get_read_measure() const;
  const Measure& get_write_measure() const;

 protected:
  explicit Service(bool verbose);

  // Steps shared by every socket family once a connection is up: the peer
  // text, Connected, the stream layer on a duplicate of fd, the stack, and
  // OnConnect.
  void ConnectStack(const Fd& fd, const std::string& peer);
  // The live connection's peer has closed it, though the stream layer may not
  // have read its end yet.
  bool PeerClosed() const;

  [[nodiscard]] virtual bool ImplActivate() = 0;
  virtual void ImplDeactivate() = 0;
  // The connection ended and the state is back to Connecting.
  virtual void ImplOnDisconnect() = 0;
  // The connection's stack is down, whether or not the service was deactivated
  // or activated again since: let go of what is held of the connection.
  virtual void ImplOnConnectionEnd() {}

 private:
  void on_message(Packet& packet) override;
  void on_activated(Protocol* layer) override;
  void on_deactivated(Protocol* layer, Smart_pointer<Internal_protocol_status> status) override;
  void OnDeactivateDPC();
  // Every state change goes here: it ends a run of refused sends.
  void SetState(State::Type state);
  // A send refused while Idle or Connecting. With no controller for days the
  // sends of periodic reports would log a line each, so only the first of a
  // run is written; the rest are counted (ReportRefusals).
  void NoteRefusal();
  // The line with the count of refusals not written yet, if any.
  void ReportRefusals();
  void EndRefusals();

  std::string peer_;
  bool verbose_;
  State::Type state_ = State::Idle;
  Notify* notify_ = nullptr;
  StrmProtocol* stream_;
  Dpc disconnect_call_;
  // A run of refused sends: refusals_ since the last line, written at refusals_since_ms_ (loop clock).
  bool refusing_ = false;
  uint32_t refusals_ = 0;
  uint32_t refusals_since_ms_ = 0;
};

// "Idle", "Connecting", "Deactivating", "Connected"; "Unknown" otherwise.
const char* GetTextNotation(Service::State::Type state);

// A service over TCP.
class ServiceNet : public Service {
 public:
  using Peer = INet4::Addr;

  // The TCP connection fd to peer is up: keep-alive and no-delay are set on
  // it, then the service connects. Ignored while Deactivating. The caller
  // keeps and closes its own fd.
  void Connected(const Fd& fd, const INet4::Addr& peer);

  const INet4::Addr& peer_address() const { return peer_address_; }
  static std::string PeerText(const INet4::Addr& peer) { return peer.GetString(); }

 protected:
  explicit ServiceNet(bool verbose) : Service(verbose) {}

 private:
  INet4::Addr peer_address_;
};

// A service over a Unix stream socket; the peer is named by its socket path.
class ServiceUnix : public Service {
 public:
  using Peer = std::string;

  // As ServiceNet::Connected, without socket options.
  void Connected(const Fd& fd, const std::string& peer);

  static const std::string& PeerText(const std::string& peer) { return peer; }

 protected:
  explicit ServiceUnix(bool verbose) : Service(verbose) {}
};

}  // namespace Control
