#pragma once

#include "platform/sim/Driver.h"

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace sim {

// The simulated board of the host build: the drivers by device path, and every
// open of them. platform/Device.cpp routes board device calls here; in-process
// tests reach the drivers through Find; the control socket through Control.
//
// A descriptor handed out is the server's end of a socketpair(AF_UNIX,
// SOCK_SEQPACKET), non-blocking, so one record goes per read and the loop polls
// it like any other; the board keeps the other end. A call on a descriptor is
// the board's when fstat names the same socket (a duplicate is the same one).
// The answer is remembered per descriptor number until the next sweep, so the
// device calls cost no system call of their own; Close sweeps, so a number it
// frees is looked up afresh by whatever takes it next. A number that a plain
// close() freed keeps its old route until the next sweep (numbers Open hands
// out are routed anew): whatever may hold a board descriptor closes it
// through Close, as Fd does.
// When the server has closed the last duplicate, its peer end reports a hang-up
// and the board releases the open at the next sweep of its ends: on Open and
// Close, on every control command and test accessor, and on any other call once
// the loop clock has moved to another millisecond. A driver whose answer
// depends on which opens are left sweeps before giving it. The board's ends are
// watched by an epoll set, so a sweep costs what changed since the last one
// (records a child wrote, hang-ups), not a look at every open.
//
// The control socket serves from a thread of its own, so every entry takes the
// board's (recursive) lock.
class Board {
 public:
  static Board& instance();
  static std::unique_lock<std::recursive_mutex> Lock();

  // Adds a driver, replacing (and hanging up the opens of) one of the same path.
  Driver& Install(std::unique_ptr<Driver> driver);
  Driver* Find(const std::string& path);
  template <class D>
  D* Find(const std::string& path) {
    return dynamic_cast<D*>(Find(path));
  }
  std::vector<std::string> Paths() const;
  // Hangs up every open and installs fresh standard drivers; in-process tests
  // start from here.
  void Reset();

  // A control-socket line split into words: "board list", or a device path
  // followed by its command.
  Reply Control(const std::vector<std::string>& words);

  // Serves what happened on the board's ends since the last sweep: records a
  // child wrote straight to a device, and opens whose last duplicate is closed.
  // A sweep asked for while one runs (by a driver taking a record) is part of it.
  void Sweep();

  // Routing for platform/Device.cpp. Each returns nothing when the path or the
  // descriptor is not the board's; otherwise the result, or -errno.
  std::optional<long> Open(const std::string& path, int flags);
  std::optional<long> Ioctl(int fd, unsigned long request, void* record);
  std::optional<long> IoctlValue(int fd, unsigned long request, unsigned long value);
  std::optional<long> Read(int fd, void* buffer, size_t size);
  std::optional<long> Write(int fd, const void* buffer, size_t size);
  std::optional<long> Close(int fd);

  // The device path of the open behind a descriptor of the server, or an empty
  // text when the descriptor is not a live open of the board.
  std::string PathOf(int fd);

 private:
  using Key = std::pair<dev_t, ino_t>;

  Board();
  void InstallStandardDrivers();
  void HangUpAll();
  // Sweeps when the loop clock has left the millisecond of the last one.
  void SweepIfDue();
  // One ready end of the watch set: takes its records, releases it when the
  // server's side is gone.
  void Serve(OpenFile& file, uint32_t events);
  OpenFile* FindOpen(int fd);
  OpenFile*& Route(int fd);
  // Runs call on the descriptor's open when it is the board's and its driver
  // has not hung up (-EIO then, as on a hung-up line).
  template <typename Call>
  std::optional<long> CallDriver(int fd, Call call);
  void Stall(OpenFile& file, int fd);

  std::map<std::string, std::unique_ptr<Driver>> drivers_;
  // Hung-up opens stay as markers so later calls still fail as on a hung-up
  // line; socket inode numbers are not reused, so a marker never misleads.
  std::map<Key, std::unique_ptr<OpenFile>> opens_;
  // The open of each descriptor number looked up since the last sweep, null
  // where none was; sweeps are the only place that frees opens.
  std::vector<OpenFile*> routes_;
  int64_t last_sweep_ms_ = -1;
  bool sweeping_ = false;
  std::vector<uint8_t> record_buffer_;
  // Holds the board's end of every open that is not hung up.
  int watch_fd_ = -1;
};

}  // namespace sim
