#pragma once

#include "platform/sim/History.h"
#include "platform/sim/Record.h"

#include <boost/cast.hpp>

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace sim {

class Driver;

// One open of a simulated device, what a kernel driver's open file is. The board
// owns it from the open until the server has closed the last duplicate of its
// descriptor; the driver sees it from OnOpen to OnRelease.
class OpenFile {
 public:
  // Per-open state of a driver: derive from it and store it in OnOpen.
  struct State {
    virtual ~State() = default;
  };

  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;

  // The flags the server opened the device with (host macros: O_RDWR, ...).
  int Flags() const { return flags_; }

  template <class T>
  T& StateAs() {
    return *boost::polymorphic_downcast<T*>(state.get());
  }

  std::unique_ptr<State> state;

 private:
  friend class Board;
  friend class Driver;
  OpenFile(Driver* driver, int flags, int driver_end, int watch_fd)
      : driver_(driver), flags_(flags), driver_end_(driver_end), watch_fd_(watch_fd) {}

  bool CanRead() const;
  bool CanWrite() const;
  // What the board's watch set waits for on the driver end besides its
  // hang-up: the records a child writes to it, unless the end is stalled.
  void WatchRecords(bool records);
  // Takes the driver end out of the watch set and closes it. Out first: a
  // child forked but not yet exec'd holds a copy, which would keep it in.
  void CloseDriverEnd();

  Driver* driver_;  // null once hung up
  int flags_;
  int driver_end_;                 // -1 once hung up
  int watch_fd_;                   // the board's epoll set
  std::pair<dev_t, ino_t> key_{};  // the server end's socket, the board's key
  // Records queued for the server and records it read through the board;
  // a queued read failure waits for its place among them.
  uint64_t delivered_ = 0;
  uint64_t taken_ = 0;
  std::deque<std::pair<uint64_t, int>> read_errors_;
  // The driver refused a write with EAGAIN: the board holds the server's end
  // unwritable until the driver resumes it.
  bool stalled_ = false;
};

// The line a control command answers: "ok <text>" or "error <text>".
struct Reply {
  bool ok;
  std::string text;
};

// Calls whose failure a test can inject; requests are named by their code.
enum class Call { kOpen, kRead, kWrite, kRequest };

// A request as the driver received it: the record bytes the server sent, or the
// value of a request without a record.
struct Request {
  unsigned long code;
  bool has_record;
  std::vector<uint8_t> record;
  unsigned long value;
};

// Base of every simulated board driver. It does what all devices share: open and
// release (a real, pollable descriptor per open; the release when the server has
// closed its last duplicate), dispatch of requests to the handlers a driver
// registers, records queued for the server to read, hang-up, failure injection
// and the control commands of the control socket.
//
// Adding a simulated driver:
//   1. Derive from Driver in platform/sim/<Name>Driver.h/.cpp, passing the board
//      path to the constructor ("/dev/mcc/ctl"; a path pattern such as
//      "/dev/mdm%d" is one driver object per instance, "/dev/mdm0", ...).
//   2. In the constructor register each request the server uses, with the
//      board's literal code and the record size the driver expects:
//        HandleRecord(0x80084d02, 8, [this](OpenFile&, Record& r) { ...; return 0; });
//        HandleValue(0x20004d02, [this](OpenFile&, unsigned long) { return channel; });
//      A handler returns its result (0 or more) or -errno, and reads and
//      writes the record by offset (Record::U32(4), SetU32(...)) from its own
//      layout table. Unregistered requests fail with ENOTTY.
//   3. Override OnWrite for records the server writes, OnRead to fail a read
//      in place of the next record, OnOpen/OnRelease for per-open state (store
//      it in OpenFile::state), and call Deliver to queue a record for the
//      server to read (it makes the descriptor readable), or
//      DeliverError for a read that fails in its turn. A write refused with
//      -EAGAIN leaves the descriptor polling unwritable until Resume, so a
//      device can push back on the server the way a full transmit queue does.
//      A handler whose answer depends on which opens are left calls
//      Board::instance().Sweep() first: a plain close() is noticed lazily.
//   4. Register control commands for end-to-end tests with AddCommand:
//        AddCommand("digit", [this](const std::vector<std::string>& args) -> Reply {...});
//      so "<path> digit 3 5" on the control socket reaches it; describe its
//      arguments in a comment above the call, and take them with ControlArgs,
//      so that a refusal says which argument is wrong and why. Give in-process
//      tests plain accessors; each public member that touches driver state
//      starts with `auto lock = Board::Lock();`.
//   5. Add one line to Board::InstallStandardDrivers() in Board.cpp.
// Every hook and handler runs with the board's lock held: never block in one.
class Driver {
 public:
  explicit Driver(std::string path);
  virtual ~Driver();
  Driver(const Driver&) = delete;
  Driver& operator=(const Driver&) = delete;

  const std::string& Path() const { return path_; }

  // Failure injection. An absent device fails every open with ENOENT. FailNext
  // makes the next count opens, reads or writes fail with error; FailNextRequest
  // does the same for the requests of one code.
  void SetAbsent(bool absent);
  void FailNext(Call call, unsigned count, int error);
  void FailNextRequest(unsigned long request, unsigned count, int error);
  // The driver hangs up every open: the server's descriptor polls POLLHUP, reads
  // give end of file, writes and requests fail with EIO, as on a hung-up line.
  void HangUpAll();

  size_t OpenCount() const;
  // The most recent requests received (older ones are dropped past a bound).
  std::vector<Request> Requests() const;

  // A control-socket command addressed to this device: the words after the
  // device path. Built-in commands first, then the driver's own.
  Reply Control(const std::vector<std::string>& words);

 protected:
  using RecordHandler = std::function<long(OpenFile&, Record&)>;
  using ValueHandler = std::function<long(OpenFile&, unsigned long)>;
  using CommandHandler = std::function<Reply(const std::vector<std::string>& args)>;

  // 0 accepts the open, -errno refuses it.
  virtual long OnOpen(OpenFile& file);
  // The open is gone: the last duplicate was closed, or the driver hung it up.
  virtual void OnRelease(OpenFile& file);
  // One record written by the server; 0 takes it, -errno refuses it. By default
  // a device takes no writes (EINVAL).
  virtual long OnWrite(OpenFile& file, const std::vector<uint8_t>& record);
  // The server reads: 0 lets the read take the next record, -errno fails it
  // and leaves the record queued. By default every read goes ahead.
  virtual long OnRead(OpenFile& file);

  void HandleRecord(unsigned long request, size_t size, RecordHandler handler);
  void HandleValue(unsigned long request, ValueHandler handler);
  void AddCommand(const std::string& name, CommandHandler handler);

  // Queues one record for the server to read on this open; false when the open
  // is hung up, closed or its queue is full.
  bool Deliver(OpenFile& file, const std::vector<uint8_t>& record);
  // Queues a read failure: once the server has read the records queued before
  // it, its next read fails with error. False as for Deliver.
  bool DeliverError(OpenFile& file, int error);
  // The open takes writes again after refusing one with -EAGAIN: its
  // descriptor polls writable again.
  void Resume(OpenFile& file);
  void HangUp(OpenFile& file);
  const std::vector<OpenFile*>& Opens() const { return opens_; }
  // Records queued on an open so far, and records the server has read of them:
  // the position of the record its next read returns.
  static uint64_t Delivered(const OpenFile& file) { return file.delivered_; }
  static uint64_t Taken(const OpenFile& file) { return file.taken_; }

 private:
  friend class Board;

  struct RecordRequest {
    size_t size;
    RecordHandler handler;
  };
  struct Failure {
    unsigned count;
    int error;
  };

  // Entry points of the board's routing; results are the system call's or -errno.
  long Open(OpenFile& file);
  long Ioctl(OpenFile& file, unsigned long request, void* record);
  long IoctlValue(OpenFile& file, unsigned long request, unsigned long value);
  long CallValueHandler(OpenFile& file, unsigned long request, unsigned long value);
  long CheckRead(OpenFile& file);
  long Write(OpenFile& file, const uint8_t* data, size_t size);
  // Records written to the driver's end directly (by a child holding the
  // descriptor) are taken as writes.
  void TakeDirectWrite(OpenFile& file, const std::vector<uint8_t>& record);
  void Release(OpenFile& file);

  // -errno of an injected failure due now, else 0.
  long InjectedFailure(Call call, unsigned long request);
  void Remember(Request request);
  Reply ControlFail(const std::vector<std::string>& args);
  Reply ControlRequests() const;

  std::string path_;
  bool absent_ = false;
  std::map<std::pair<Call, unsigned long>, Failure> failures_;
  std::map<unsigned long, RecordRequest> record_requests_;
  std::map<unsigned long, ValueHandler> value_requests_;
  std::map<std::string, CommandHandler> commands_;
  std::vector<OpenFile*> opens_;
  History<Request> requests_;
};

// Record bytes in a control reply: two lower-case hex digits each, nothing between.
std::string HexBytes(const std::vector<uint8_t>& bytes);
// Frames in a control reply: each as HexBytes, one blank between them, oldest first.
std::string HexFrames(const std::vector<std::vector<uint8_t>>& frames);
// The same written in a control command; nothing when not whole pairs of hex digits.
std::optional<std::vector<uint8_t>> ParseHex(const std::string& text);
// Control-command arguments: decimal or 0x-prefixed hexadecimal, all of it.
std::optional<unsigned long> ParseNumber(const std::string& text);
// An errno by its name ("EIO") or number.
std::optional<int> ParseErrno(const std::string& text);

}  // namespace sim
