#pragma once

#include "runtime/transport/ControlConnector.h"
#include "runtime/transport/ControlService.h"

#include <string>

namespace Control {

// The connector to a Unix stream socket at a path, optionally bound to a
// local path of its own first.
class ConnectorUnix : public Connector<ServiceUnix> {
 public:
  ConnectorUnix() : ConnectorUnix(std::string()) {}
  explicit ConnectorUnix(const std::string& path) : ConnectorUnix(path, std::string()) {}
  ConnectorUnix(const std::string& path, const std::string& local_path);
  ~ConnectorUnix() override;

 protected:
  void TryConnect() override;
  void OnSocketEvent(int fd, short revents) override;

 private:
  void GiveUp(const char* what);
  void BindLocal();

  std::string path_;
  std::string local_path_;
};

}  // namespace Control
