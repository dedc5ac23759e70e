#include "runtime/loop/LogRoomWatch.h"

void LogRoomWatch::Install() {
  static LogRoomWatch* const watch = [] {
    auto* created = new LogRoomWatch;
    syslogManager().SetRoomWatch(created);
    return created;
  }();
  static_cast<void>(watch);
}

void LogRoomWatch::Watch(int fd) {
  fd_ = fd;
  mux_attach();
}

void LogRoomWatch::Cancel() {
  mux_detach();
  fd_ = -1;
}

void LogRoomWatch::shedule_event(pollfd& entry) {
  entry.fd = fd_;
  entry.events = POLLOUT;
  entry.revents = 0;
}

void LogRoomWatch::svc_event(short revents) {
  if (revents != 0) {
    syslogManager().OnRoom();
  }
}
