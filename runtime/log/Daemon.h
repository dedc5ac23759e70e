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

// Detaches the process and redirects the streams on the first call; later calls do nothing.
void Init(const Params& params);

}  // namespace Daemon
