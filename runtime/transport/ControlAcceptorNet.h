#pragma once

#include "runtime/loop/Timer.h"
#include "runtime/net/Fd.h"
#include "runtime/net/INet4.h"
#include "runtime/transport/ControlAcceptor.h"
#include "runtime/transport/ControlService.h"

#include <sys/socket.h>

#include <cstdint>
#include <string>

namespace Control {

// The control service that listens on a TCP port of every local address and
// serves one connection at a time.
class AcceptorNet : public Acceptor<ServiceNet> {
 public:
  AcceptorNet() : AcceptorNet(0) {}
  explicit AcceptorNet(int port) : AcceptorNet(port, true) {}
  AcceptorNet(int port, bool verbose);
  ~AcceptorNet() override;

  uint16_t port() const { return port_; }

 protected:
  int CreateSocket() override;
  int BindListener(int fd) override;
  std::string ListenAddress() const override;
  INet4::Addr PeerOf(const sockaddr_storage& address, socklen_t len) override;

 private:
  // The wildcard address with the port.
  sockaddr_in Address() const;

  uint16_t port_;
};

// The controller's acceptor: once a second it asks the kernel about the live
// connection and drops it when the socket has left the established state or
// holds an error. A refused second attempt hints that the controller may have
// lost the live connection without the server noticing, so the live socket is
// then probed with fast keep-alives until a check finds it healthy.
class AcceptorNetCheckConnection : public AcceptorNet {
 public:
  enum class CheckMode { Idle = 0, CheckConnection = 1 };

  AcceptorNetCheckConnection() : AcceptorNetCheckConnection(0) {}
  explicit AcceptorNetCheckConnection(int port) : AcceptorNetCheckConnection(port, true) {}
  AcceptorNetCheckConnection(int port, bool verbose) : AcceptorNet(port, verbose) {}
  ~AcceptorNetCheckConnection() override;

  CheckMode check_mode() const { return check_mode_; }

 protected:
  // Starts the listener and the check; true even when the listener is not up yet.
  bool ImplActivate() override;
  void ImplDeactivate() override;
  // The check gives up the socket it watched, so the connection really closes.
  void ImplOnConnectionEnd() override;
  void ImplRefuseConnection() override;
  void ImplConnected(Fd fd) override;

 private:
  void CheckConnection();
  void OnCheckConnectionTimeout(Timer*);
  void SetupKeepAlive(bool fast);
  // Leaves the fast probing: back to Idle with normal keep-alive.
  void EndCheckMode();

  Timer check_timer_;
  Fd watched_;
  CheckMode check_mode_ = CheckMode::Idle;
  int counter_ = 0;
};

}  // namespace Control
