#include "platform/sim/Board.h"

#include "platform/Clock.h"
#include "platform/sim/DspDataDriver.h"
#include "platform/sim/DspDriver.h"
#include "platform/sim/DtmfDriver.h"
#include "platform/sim/E1CasDriver.h"
#include "platform/sim/HalDriver.h"
#include "platform/sim/MaintenanceDriver.h"
#include "platform/sim/MccDriver.h"
#include "platform/sim/MixerDriver.h"
#include "platform/sim/ModemDriver.h"
#include "platform/sim/NetInterfacesDriver.h"
#include "platform/sim/RtpDriver.h"
#include "platform/sim/RtpExtDriver.h"
#include "platform/sim/VoiceDriver.h"
#include "platform/sim/WatchdogDriver.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace sim {
namespace {

// A record larger than any the board's devices carry (a 64 KiB frame and room).
constexpr size_t kLargestRecord = 65536 + 4096;
// Bounds the filling of a stalled end; far more than any socket buffer takes.
constexpr int kMaxFillerRecords = 1024;
// Ready ends served per epoll_wait; more are served by the next call.
constexpr int kSweepBatch = 64;

}  // namespace

Board& Board::instance() {
  // Never destroyed: descriptors that static objects own close through it
  // while the process exits, whichever of them was built first. The kernel
  // closes the board's ends then, and captures are written frame by frame.
  static Board* const board = new Board;
  return *board;
}

std::unique_lock<std::recursive_mutex> Board::Lock() {
  static std::recursive_mutex mutex;
  return std::unique_lock<std::recursive_mutex>(mutex);
}

Board::Board() : watch_fd_(epoll_create1(EPOLL_CLOEXEC)) {
  InstallStandardDrivers();
}

void Board::InstallStandardDrivers() {
  Install(std::make_unique<WatchdogDriver>());
  Install(std::make_unique<HalDriver>());
  Install(std::make_unique<MaintenanceDriver>());
  Install(std::make_unique<E1CasDriver>());
  Install(std::make_unique<MccDriver>());
  Install(std::make_unique<DspDataDriver>());
  Install(std::make_unique<NetInterfacesDriver>());
  Install(std::make_unique<DtmfDriver>());
  Install(std::make_unique<DspDriver>());
  Install(std::make_unique<MixerDriver>());
  Install(std::make_unique<VoiceDriver>());
  Install(std::make_unique<ModemDriver>());
  Install(std::make_unique<RtpDriver>());
  Install(std::make_unique<RtpExtDriver>());
}

Driver& Board::Install(std::unique_ptr<Driver> driver) {
  auto lock = Lock();
  std::unique_ptr<Driver>& slot = drivers_[driver->Path()];
  if (slot) {
    slot->HangUpAll();
  }
  slot = std::move(driver);
  return *slot;
}

Driver* Board::Find(const std::string& path) {
  auto lock = Lock();
  auto found = drivers_.find(path);
  return found == drivers_.end() ? nullptr : found->second.get();
}

std::vector<std::string> Board::Paths() const {
  auto lock = Lock();
  std::vector<std::string> paths;
  for (const auto& entry : drivers_) {
    paths.push_back(entry.first);
  }
  return paths;
}

void Board::Reset() {
  auto lock = Lock();
  HangUpAll();
  drivers_.clear();
  InstallStandardDrivers();
}

void Board::HangUpAll() {
  for (auto& entry : drivers_) {
    entry.second->HangUpAll();
  }
}

Reply Board::Control(const std::vector<std::string>& words) {
  auto lock = Lock();
  Sweep();
  if (!words.empty() && words[0] == "board") {
    if (words.size() != 2 || words[1] != "list") {
      return Reply{false, "usage: board list"};
    }
    std::string text;
    for (const std::string& path : Paths()) {
      text += text.empty() ? path : " " + path;
    }
    return Reply{true, text};
  }
  if (words.empty()) {
    return Reply{false, "empty command"};
  }
  Driver* driver = Find(words[0]);
  if (driver == nullptr) {
    return Reply{false, "no device " + words[0]};
  }
  return driver->Control(std::vector<std::string>(words.begin() + 1, words.end()));
}

void Board::Sweep() {
  auto lock = Lock();
  routes_.clear();
  if (sweeping_) {
    return;
  }
  sweeping_ = true;
  epoll_event ready[kSweepBatch];
  int count;
  do {
    count = epoll_wait(watch_fd_, ready, kSweepBatch, 0);
    // Serving one end never frees another (only its own release does), so
    // every pointer of the batch stays good while it is served.
    for (int i = 0; i < count; ++i) {
      Serve(*static_cast<OpenFile*>(ready[i].data.ptr), ready[i].events);
    }
  } while (count == kSweepBatch);
  sweeping_ = false;
}

void Board::Serve(OpenFile& file, uint32_t events) {
  // A driver may have hung it up while it took another end's record.
  if (file.driver_ == nullptr) {
    return;
  }
  if ((events & EPOLLIN) != 0) {
    record_buffer_.resize(kLargestRecord);
    ssize_t size;
    while (file.driver_ != nullptr &&
           (size = recv(file.driver_end_, record_buffer_.data(), record_buffer_.size(), MSG_DONTWAIT)) > 0) {
      file.driver_->TakeDirectWrite(file, std::vector<uint8_t>(record_buffer_.begin(), record_buffer_.begin() + size));
    }
  }
  if ((events & EPOLLHUP) == 0 || file.driver_ == nullptr) {
    return;
  }
  // Every duplicate of the server's end is closed: the driver's release.
  file.driver_->Release(file);
  file.CloseDriverEnd();
  const Key key = file.key_;
  opens_.erase(key);
}

void Board::SweepIfDue() {
  // A sweep (a system call, and every route looked up afresh after it) costs
  // more than most device calls themselves, and the switch refresh makes a
  // hundred of them per loop pass: once per loop-clock millisecond is soon
  // enough for what no call is waiting on.
  timeval now{};
  platform::GetTimeOfDay(&now);
  const int64_t millisecond = static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_usec / 1000;
  if (millisecond != last_sweep_ms_) {
    last_sweep_ms_ = millisecond;
    Sweep();
  }
}

std::optional<long> Board::Open(const std::string& path, int flags) {
  auto lock = Lock();
  Sweep();
  auto found = drivers_.find(path);
  if (found == drivers_.end()) {
    return std::nullopt;
  }
  int ends[2];
  if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, ends) != 0) {
    return -errno;
  }
  struct stat status {};
  if ((flags & O_CLOEXEC) == 0) {
    fcntl(ends[0], F_SETFD, 0);
  }
  if (fstat(ends[0], &status) != 0) {
    int error = errno;
    close(ends[0]);
    close(ends[1]);
    return -error;
  }
  auto file = std::unique_ptr<OpenFile>(new OpenFile(found->second.get(), flags, ends[1], watch_fd_));
  file->key_ = Key{status.st_dev, status.st_ino};
  epoll_event watch{};
  watch.events = EPOLLIN;
  watch.data.ptr = file.get();
  long result = epoll_ctl(watch_fd_, EPOLL_CTL_ADD, ends[1], &watch) == 0 ? 0 : -errno;
  if (result == 0) {
    result = found->second->Open(*file);
  }
  if (result < 0) {
    (void)epoll_ctl(watch_fd_, EPOLL_CTL_DEL, ends[1], nullptr);
    close(ends[0]);
    close(ends[1]);
    return result;
  }
  OpenFile* open = file.get();
  opens_[file->key_] = std::move(file);
  Route(ends[0]) = open;
  return ends[0];
}

OpenFile*& Board::Route(int fd) {
  const auto index = static_cast<size_t>(fd);
  if (index >= routes_.size()) {
    routes_.resize(index + 1, nullptr);
  }
  return routes_[index];
}

std::string Board::PathOf(int fd) {
  auto lock = Lock();
  OpenFile* file = FindOpen(fd);
  return file == nullptr || file->driver_ == nullptr ? std::string() : file->driver_->Path();
}

OpenFile* Board::FindOpen(int fd) {
  if (fd < 0) {
    return nullptr;
  }
  OpenFile*& route = Route(fd);
  if (route != nullptr) {
    return route;
  }
  struct stat status {};
  if (fstat(fd, &status) != 0 || !S_ISSOCK(status.st_mode)) {
    return nullptr;
  }
  auto found = opens_.find(Key{status.st_dev, status.st_ino});
  if (found == opens_.end()) {
    return nullptr;
  }
  route = found->second.get();
  return route;
}

template <typename Call>
std::optional<long> Board::CallDriver(int fd, Call call) {
  auto lock = Lock();
  SweepIfDue();
  OpenFile* file = FindOpen(fd);
  if (file == nullptr) {
    return std::nullopt;
  }
  if (file->driver_ == nullptr) {
    return -EIO;
  }
  return call(*file);
}

std::optional<long> Board::Ioctl(int fd, unsigned long request, void* record) {
  return CallDriver(fd, [&](OpenFile& file) { return file.driver_->Ioctl(file, request, record); });
}

std::optional<long> Board::IoctlValue(int fd, unsigned long request, unsigned long value) {
  return CallDriver(fd, [&](OpenFile& file) { return file.driver_->IoctlValue(file, request, value); });
}

std::optional<long> Board::Read(int fd, void* buffer, size_t size) {
  auto lock = Lock();
  for (;;) {
    SweepIfDue();
    OpenFile* file = FindOpen(fd);
    if (file == nullptr) {
      return std::nullopt;
    }
    if (file->driver_ != nullptr) {
      if (long failure = file->driver_->CheckRead(*file)) {
        return failure;
      }
    }
    if (!file->read_errors_.empty() && file->read_errors_.front().first <= file->taken_) {
      // The failure's stand-in record goes with it.
      char byte;
      (void)recv(fd, &byte, sizeof byte, MSG_DONTWAIT);
      ++file->taken_;
      const int error = file->read_errors_.front().second;
      file->read_errors_.pop_front();
      return -error;
    }
    // Records the driver queued, then end of file once it hung up. Taken
    // under the lock, so that a failure the control socket queues meanwhile
    // cannot be read as an empty record.
    const ssize_t result = recv(fd, buffer, size, MSG_DONTWAIT);
    if (result >= 0) {
      if (file->driver_ != nullptr) {
        ++file->taken_;
      }
      return result;
    }
    const int error = errno;
    const int flags = fcntl(fd, F_GETFL);
    if (error != EAGAIN || flags < 0 || (flags & O_NONBLOCK) != 0) {
      return -error;
    }
    // A descriptor the server made blocking waits unlocked, so that the
    // control socket can deliver what it waits for.
    lock.unlock();
    pollfd entry{fd, POLLIN, 0};
    (void)poll(&entry, 1, -1);
    lock.lock();
  }
}

void Board::Stall(OpenFile& file, int fd) {
  // The server's end polls writable while its send buffer has room; filling
  // it with records the board leaves unread makes it poll unwritable, as a
  // device with a full transmit queue would.
  file.stalled_ = true;
  file.WatchRecords(false);
  static const std::vector<uint8_t> filler(16384);
  for (int sent = 0; sent < kMaxFillerRecords; ++sent) {
    if (send(fd, filler.data(), filler.size(), MSG_DONTWAIT | MSG_NOSIGNAL) < 0) {
      return;
    }
  }
}

std::optional<long> Board::Write(int fd, const void* buffer, size_t size) {
  return CallDriver(fd, [&](OpenFile& file) {
    const long result = file.driver_->Write(file, static_cast<const uint8_t*>(buffer), size);
    if (result == -EAGAIN && !file.stalled_ && file.driver_ != nullptr) {
      Stall(file, fd);
    }
    return result;
  });
}

std::optional<long> Board::Close(int fd) {
  auto lock = Lock();
  if (FindOpen(fd) == nullptr) {
    return std::nullopt;
  }
  long result = close(fd) == 0 ? 0 : -errno;
  Sweep();
  return result;
}

}  // namespace sim
