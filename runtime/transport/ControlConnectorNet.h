#pragma once

#include "runtime/net/INet4.h"
#include "runtime/transport/ControlConnector.h"
#include "runtime/transport/ControlService.h"

#include <cstdint>
#include <optional>
#include <string>

namespace Control {

// The control service that connects out to a TCP peer, one per SNMP agent.
class ConnectorNet : public Connector<ServiceNet> {
 public:
  ConnectorNet() : ConnectorNet(std::string(), 0) {}
  // The peer as a dotted quad and a port.
  ConnectorNet(const std::string& host, unsigned short port);
  // The peer as "a.b.c.d:port"; port 0 when the text has none. A text that
  // does not parse stays the host, and the connector refuses it.
  explicit ConnectorNet(const std::string& address);
  ~ConnectorNet() override;

  const std::string& host() const { return host_; }
  uint16_t port() const { return port_; }

 protected:
  void TryConnect() override;
  void OnSocketEvent(int fd, short revents) override;

 private:
  // The host text is numeric only; nothing for one that does not parse, which
  // connect() would otherwise take for 0.0.0.0, this host.
  std::optional<INet4::Addr> Target() const;
  void ConnectedTo(const INet4::Addr& target);
  // Socket resources failed: no further attempt until activated again.
  void GiveUp(const char* what);

  uint16_t port_;
  std::string host_;
};

}  // namespace Control
