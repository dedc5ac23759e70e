#include "server/HeartBeatCtl.h"

#include <iostream>

HeartBeatCtl& HeartBeatCtl::instance() {
  static HeartBeatCtl heartbeat;
  return heartbeat;
}

void HeartBeatCtl::OnDisconnect() {
  watchdog_.reset();
}

bool HeartBeatCtl::OnCommand(const LGCP::Command& command) {
  ResetTimeOut();
  if (!command.is_ping()) {
    return false;
  }
  Success();
  return true;
}

void HeartBeatCtl::ResetTimeOut() {
  watchdog_.set(kTimeoutMs, &HeartBeatCtl::OnHeartbeatTimeout, this);
}

void HeartBeatCtl::OnHeartbeatTimeout(Timer*) {
  std::clog << "heartbeat timeout!!!" << std::endl;
  // The server this service is bound to: the process-wide controller server.
  if (server() != nullptr) {
    server()->OnHeartbeatTimeout();
  }
}

void HeartBeatCtl::PutHeader(std::ostream& os) const {
  os << "heartbeat: ";
}
