#include "platform/sim/WatchdogDriver.h"

#include "platform/Clock.h"
#include "platform/sim/Board.h"

#include <cctype>
#include <cstdio>

namespace sim {
WatchdogDriver::WatchdogDriver() : Driver(kPath) {
  // log: every write with its loop-clock time, "START@<s>.<us> PING@<s>.<us> ...", oldest first.
  AddCommand("log", [this](const std::vector<std::string>& args) {
    return args.empty() ? ControlLog() : Reply{false, "usage: log"};
  });
}

std::vector<WatchdogDriver::Entry> WatchdogDriver::Entries() const {
  auto lock = Board::Lock();
  return entries_.Items();
}

long WatchdogDriver::OnWrite(OpenFile&, const std::vector<uint8_t>& record) {
  Entry entry{std::string(record.begin(), record.end()), timeval{}};
  platform::GetTimeOfDay(&entry.time);
  entries_.Add(std::move(entry));
  return 0;
}

Reply WatchdogDriver::ControlLog() const {
  // "START@100.000000 PING@101.000250 ...", oldest first.
  std::string text;
  char time[48];
  for (const Entry& entry : entries_) {
    std::snprintf(time, sizeof time, "@%ld.%06ld", static_cast<long>(entry.time.tv_sec),
                  static_cast<long>(entry.time.tv_usec));
    text += text.empty() ? "" : " ";
    // Keep the reply one line of words whatever was written.
    for (char c : entry.word) {
      text += std::isgraph(static_cast<unsigned char>(c)) ? c : '?';
    }
    text += time;
  }
  return Reply{true, text};
}

}  // namespace sim
