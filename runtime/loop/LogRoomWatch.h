#pragma once

#include "runtime/log/SysLogManager.h"
#include "runtime/loop/EventHandler.h"

// Polls the syslog client's socket for room while the client holds a backlog,
// so a burst of log lines drains as the log daemon reads even when nothing more
// is logged. Installed by the loop when it starts; never destroyed, as the
// client it serves logs until the process ends.
class LogRoomWatch : public SysLogManager::RoomWatch, private EventHandler {
 public:
  // Hands the one watch to the process-wide client; later calls do nothing.
  static void Install();

  void Watch(int fd) override;
  void Cancel() override;

 private:
  LogRoomWatch() = default;

  void shedule_event(pollfd& entry) override;
  void svc_event(short revents) override;
  const char* event_name() const override { return "syslog"; }

  int fd_ = -1;
};
