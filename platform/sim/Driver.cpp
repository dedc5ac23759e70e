#include "platform/sim/Driver.h"

#include "platform/sim/Board.h"
#include "platform/sim/ControlArgs.h"

#include <fcntl.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>

namespace sim {
namespace {

// The most failures one fail command arms.
constexpr unsigned long kMaxFailures = 1000000;

std::string HexCode(unsigned long code) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%lx", code);
  return text;
}

}  // namespace

bool OpenFile::CanRead() const {
  return (flags_ & O_ACCMODE) != O_WRONLY;
}

bool OpenFile::CanWrite() const {
  return (flags_ & O_ACCMODE) != O_RDONLY;
}

void OpenFile::WatchRecords(bool records) {
  epoll_event event{};
  event.events = records ? uint32_t{EPOLLIN} : 0;
  event.data.ptr = this;
  (void)epoll_ctl(watch_fd_, EPOLL_CTL_MOD, driver_end_, &event);
}

void OpenFile::CloseDriverEnd() {
  (void)epoll_ctl(watch_fd_, EPOLL_CTL_DEL, driver_end_, nullptr);
  close(driver_end_);
  driver_end_ = -1;
}

Driver::Driver(std::string path) : path_(std::move(path)) {}

Driver::~Driver() = default;

void Driver::SetAbsent(bool absent) {
  auto lock = Board::Lock();
  absent_ = absent;
}

void Driver::FailNext(Call call, unsigned count, int error) {
  auto lock = Board::Lock();
  failures_[{call, 0}] = Failure{count, error};
}

void Driver::FailNextRequest(unsigned long request, unsigned count, int error) {
  auto lock = Board::Lock();
  failures_[{Call::kRequest, request}] = Failure{count, error};
}

void Driver::HangUpAll() {
  auto lock = Board::Lock();
  while (!opens_.empty()) {
    HangUp(*opens_.back());
  }
}

size_t Driver::OpenCount() const {
  auto lock = Board::Lock();
  Board::instance().Sweep();
  return opens_.size();
}

std::vector<Request> Driver::Requests() const {
  auto lock = Board::Lock();
  return requests_.Items();
}

long Driver::OnOpen(OpenFile&) {
  return 0;
}

void Driver::OnRelease(OpenFile&) {}

long Driver::OnWrite(OpenFile&, const std::vector<uint8_t>&) {
  return -EINVAL;
}

long Driver::OnRead(OpenFile&) {
  return 0;
}

void Driver::HandleRecord(unsigned long request, size_t size, RecordHandler handler) {
  record_requests_[request] = RecordRequest{size, std::move(handler)};
}

void Driver::HandleValue(unsigned long request, ValueHandler handler) {
  value_requests_[request] = std::move(handler);
}

void Driver::AddCommand(const std::string& name, CommandHandler handler) {
  commands_[name] = std::move(handler);
}

bool Driver::Deliver(OpenFile& file, const std::vector<uint8_t>& record) {
  auto lock = Board::Lock();
  if (file.driver_end_ < 0 || send(file.driver_end_, record.data(), record.size(), MSG_DONTWAIT | MSG_NOSIGNAL) !=
                                  static_cast<ssize_t>(record.size())) {
    return false;
  }
  ++file.delivered_;
  return true;
}

bool Driver::DeliverError(OpenFile& file, int error) {
  auto lock = Board::Lock();
  // An empty record stands in the queue for the failure, so the descriptor
  // polls readable and the failure keeps its place after earlier records.
  const uint64_t position = file.delivered_;
  if (!Deliver(file, {})) {
    return false;
  }
  file.read_errors_.emplace_back(position, error);
  return true;
}

void Driver::Resume(OpenFile& file) {
  auto lock = Board::Lock();
  if (!file.stalled_ || file.driver_end_ < 0) {
    return;
  }
  file.stalled_ = false;
  file.WatchRecords(true);
  // Dropping the filler the board queued frees the server end's send buffer.
  char byte;
  while (recv(file.driver_end_, &byte, sizeof byte, MSG_DONTWAIT) >= 0) {
  }
}

void Driver::HangUp(OpenFile& file) {
  auto lock = Board::Lock();
  if (file.driver_ != this) {
    return;
  }
  Release(file);
  // Closing our end is what the server sees: POLLHUP, end of file.
  file.CloseDriverEnd();
  file.driver_ = nullptr;
  file.read_errors_.clear();
  file.stalled_ = false;
}

long Driver::Open(OpenFile& file) {
  if (absent_) {
    return -ENOENT;
  }
  if (long failure = InjectedFailure(Call::kOpen, 0)) {
    return failure;
  }
  long result = OnOpen(file);
  if (result < 0) {
    return result;
  }
  opens_.push_back(&file);
  return 0;
}

long Driver::Ioctl(OpenFile& file, unsigned long request, void* record) {
  if (long failure = InjectedFailure(Call::kRequest, request)) {
    return failure;
  }
  auto found = record_requests_.find(request);
  if (found == record_requests_.end()) {
    // The kernel passes the argument through as a number: a request without a
    // record may be sent either way.
    return CallValueHandler(file, request, static_cast<unsigned long>(reinterpret_cast<uintptr_t>(record)));
  }
  if (record == nullptr) {
    return -EFAULT;
  }
  auto* bytes = static_cast<uint8_t*>(record);
  Record copy(std::vector<uint8_t>(bytes, bytes + found->second.size));
  Remember(Request{request, true, copy.Bytes(), 0});
  long result = found->second.handler(file, copy);
  std::copy(copy.Bytes().begin(), copy.Bytes().end(), bytes);
  return result;
}

long Driver::IoctlValue(OpenFile& file, unsigned long request, unsigned long value) {
  if (long failure = InjectedFailure(Call::kRequest, request)) {
    return failure;
  }
  if (record_requests_.count(request) != 0) {
    // A record request given a plain number: the kernel would read memory at
    // that address.
    return -EFAULT;
  }
  return CallValueHandler(file, request, value);
}

long Driver::CallValueHandler(OpenFile& file, unsigned long request, unsigned long value) {
  auto found = value_requests_.find(request);
  if (found == value_requests_.end()) {
    return -ENOTTY;
  }
  Remember(Request{request, false, {}, value});
  return found->second(file, value);
}

long Driver::CheckRead(OpenFile& file) {
  if (!file.CanRead()) {
    return -EBADF;
  }
  if (long failure = InjectedFailure(Call::kRead, 0)) {
    return failure;
  }
  return OnRead(file);
}

long Driver::Write(OpenFile& file, const uint8_t* data, size_t size) {
  if (!file.CanWrite()) {
    return -EBADF;
  }
  if (long failure = InjectedFailure(Call::kWrite, 0)) {
    return failure;
  }
  long result = OnWrite(file, std::vector<uint8_t>(data, data + size));
  return result < 0 ? result : static_cast<long>(size);
}

void Driver::TakeDirectWrite(OpenFile& file, const std::vector<uint8_t>& record) {
  // Nobody waits for the result of a write that bypassed the device calls.
  (void)OnWrite(file, record);
}

void Driver::Release(OpenFile& file) {
  opens_.erase(std::remove(opens_.begin(), opens_.end(), &file), opens_.end());
  OnRelease(file);
  file.state.reset();
}

long Driver::InjectedFailure(Call call, unsigned long request) {
  auto found = failures_.find({call, request});
  if (found == failures_.end()) {
    return 0;
  }
  int error = found->second.error;
  if (--found->second.count == 0) {
    failures_.erase(found);
  }
  return -error;
}

void Driver::Remember(Request request) {
  requests_.Add(std::move(request));
}

Reply Driver::Control(const std::vector<std::string>& words) {
  auto lock = Board::Lock();
  if (words.empty()) {
    return Reply{false, "missing command for " + path_};
  }
  const std::string& command = words[0];
  std::vector<std::string> args(words.begin() + 1, words.end());
  if (command == "absent") {
    ControlArgs in(args, "absent on|off", 1);
    const std::optional<bool> on = in.OnOff("setting");
    if (!on) {
      return in.Refusal();
    }
    absent_ = *on;
    return Reply{true, ""};
  }
  if (command == "fail") {
    return ControlFail(args);
  }
  if ((command == "hangup" || command == "opens" || command == "requests") && !args.empty()) {
    return Reply{false, "usage: " + command};
  }
  if (command == "hangup") {
    HangUpAll();
    return Reply{true, ""};
  }
  if (command == "opens") {
    return Reply{true, std::to_string(OpenCount())};
  }
  if (command == "requests") {
    return ControlRequests();
  }
  auto found = commands_.find(command);
  if (found == commands_.end()) {
    return Reply{false, "unknown command " + command + " for " + path_};
  }
  return found->second(args);
}

Reply Driver::ControlFail(const std::vector<std::string>& args) {
  // fail <open|read|write|request code> <count> <errno>
  ControlArgs in(args, "fail open|read|write|<request> <count> <errno>", 3);
  const std::optional<std::string> call = in.Text();
  const std::optional<unsigned long> request = call ? ParseNumber(*call) : std::nullopt;
  static const std::map<std::string, Call> kCalls = {
      {"open", Call::kOpen}, {"read", Call::kRead}, {"write", Call::kWrite}};
  const auto named = call ? kCalls.find(*call) : kCalls.end();
  if (call && !request && named == kCalls.end()) {
    in.Refuse("call", "not open|read|write or a request code");
  }
  const std::optional<unsigned long> count = in.Number("count", 1, kMaxFailures);
  const std::optional<int> error = in.Errno("errno");
  if (in.Refused()) {
    return in.Refusal();
  }
  const auto times = static_cast<unsigned>(*count);
  if (named != kCalls.end()) {
    FailNext(named->second, times, *error);
  } else {
    FailNextRequest(*request, times, *error);
  }
  return Reply{true, ""};
}

Reply Driver::ControlRequests() const {
  // Oldest first: "<code>:<record hex>" or "<code>=<value>".
  std::string text;
  for (const Request& request : requests_) {
    if (!text.empty()) {
      text += ' ';
    }
    text += HexCode(request.code);
    text += request.has_record ? ":" + HexBytes(request.record) : "=" + std::to_string(request.value);
  }
  return Reply{true, text};
}

std::string HexFrames(const std::vector<std::vector<uint8_t>>& frames) {
  std::string text;
  for (const std::vector<uint8_t>& frame : frames) {
    text += (text.empty() ? "" : " ") + HexBytes(frame);
  }
  return text;
}

std::string HexBytes(const std::vector<uint8_t>& bytes) {
  std::string text;
  char digits[3];
  for (uint8_t byte : bytes) {
    std::snprintf(digits, sizeof digits, "%02x", byte);
    text += digits;
  }
  return text;
}

std::optional<std::vector<uint8_t>> ParseHex(const std::string& text) {
  if (text.size() % 2 != 0) {
    return std::nullopt;
  }
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < text.size(); i += 2) {
    const std::optional<unsigned long> byte = ParseNumber("0x" + text.substr(i, 2));
    if (!byte) {
      return std::nullopt;
    }
    bytes.push_back(static_cast<uint8_t>(*byte));
  }
  return bytes;
}

std::optional<unsigned long> ParseNumber(const std::string& text) {
  int base = 10;
  const char* begin = text.data();
  const char* end = text.data() + text.size();
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    begin += 2;
  }
  unsigned long value = 0;
  auto [stop, error] = std::from_chars(begin, end, value, base);
  if (error != std::errc() || stop != end || begin == end) {
    return std::nullopt;
  }
  return value;
}

std::optional<int> ParseErrno(const std::string& text) {
  if (std::optional<unsigned long> number = ParseNumber(text)) {
    if (*number == 0 || *number > 4095) {
      return std::nullopt;
    }
    return static_cast<int>(*number);
  }
  for (int error = 1; error < 4096; ++error) {
    const char* name = strerrorname_np(error);
    if (name != nullptr && text == name) {
      return error;
    }
  }
  return std::nullopt;
}

}  // namespace sim
