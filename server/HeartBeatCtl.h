#pragma once

#include "runtime/loop/Timer.h"
#include "server/CtrlSrv.h"

#include <ostream>

// Watches the controller: every command re-arms a 120000 ms watchdog, and a controller that stays silent that long
// has its connection dropped, which destroys every slot. Answers ping, which a controller sends when it has nothing
// else to say. Bound first, so it sees every command before any other service. Owns the watchdog timer.
class HeartBeatCtl : public CtrlSrv::Service {
 public:
  static constexpr unsigned kTimeoutMs = 120000;

  static HeartBeatCtl& instance();

  HeartBeatCtl() = default;

  // Nothing: the watchdog is first armed by the connection's first command.
  void OnConnect() override {}
  void OnDisconnect() override;
  // Re-arms the watchdog; takes only ping.
  bool OnCommand(const LGCP::Command& command) override;

  void ResetTimeOut();
  void OnHeartbeatTimeout(Timer* timer);
  void PutHeader(std::ostream& os) const;
  bool IsArmed() const { return watchdog_.get() != nullptr; }

 private:
  Timer watchdog_;
};
