#pragma once

#include <string>

// Detaching the server from its terminal and sending what it writes to the three
// standard streams (output: notices, error: errors, log: debug traces) to the
// system log, or to hourly log files.
namespace Daemon {

struct Params {
  // 0: syslog; 1: hourly log files.
  int mode = 0;
  bool nochdir = false;
  // The syslog ident in mode 0, the log folder in mode 1.
  std::string name = "unknown";
};

// Detaches the process and redirects the streams on the first call; later calls
// do nothing. The process that called it (the launcher) does not return: it
// waits until the daemon calls Ready() and then exits 0, or, when the daemon
// ends before that, says how on its error stream and exits 1. SIGTERM and
// SIGINT end it at once while it waits; the daemon goes on.
void Init(const Params& params);
// Lets the launcher go; nothing before Init or after the first call. A note
// that is not empty is written on the launcher's error stream as it leaves, the
// only place whoever started the server still looks.
void Ready(const std::string& note = "");

}  // namespace Daemon
