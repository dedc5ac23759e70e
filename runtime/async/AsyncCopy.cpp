#include "runtime/async/AsyncCopy.h"

#include <unistd.h>

#include <cerrno>

namespace ASync {
namespace {

constexpr unsigned kDefaultBufferSize = 1024;
constexpr short kTrouble = POLLERR | POLLHUP | POLLNVAL;

// Re-arms an Event on its own duplicate. A source Event released after a
// hang-up stays released: the reads that follow report the end.
void Wait(Event& event, short events) {
  event.Schedule(event.GetFd(), events);
}

}  // namespace

void Copy::Start(const Fd& source, const Fd& destination) {
  state_ = Status::kCopying;
  source_ = source;
  destination_ = destination;
  source_event_.Release();
  destination_event_.Release();
  source_event_.Bind("Copy::OnSrcEvent", &Copy::OnSrcEvent, this);
  destination_event_.Bind("Copy::OnDstEvent", &Copy::OnDstEvent, this);
  source_event_.Schedule(source_, 0);
  destination_event_.Schedule(destination_, 0);
  if (buffer_ == nullptr) {
    buffer_size_ = kDefaultBufferSize;
    buffer_.reset(new uint8_t[buffer_size_]);
  }
  error_ = 0;
  written_ = 0;
  next_ = &Copy::SrcReady;
  Progress();
}

void Copy::Stop() {
  if (state_ == Status::kCopying && GoFlush()) {
    Progress();
  }
}

void Copy::set_events(const EventsParams& events) {
  events_ = events;
  Complete(Status::kInterrupted);
}

void Copy::set_bufsize(unsigned size) {
  buffer_size_ = size;
  buffer_.reset(new uint8_t[size]);
  Complete(Status::kInterrupted);
}

void Copy::Progress() {
  while ((this->*next_)()) {
  }
}

void Copy::GoReading() {
  Wait(source_event_, events_.source);
  Wait(destination_event_, 0);
  next_ = &Copy::SrcReady;
}

void Copy::GoWriting() {
  Wait(source_event_, 0);
  Wait(destination_event_, events_.destination);
  next_ = &Copy::DstReady;
}

bool Copy::SrcReady() {
  ssize_t n = read(source_.get(), buffer_.get(), buffer_size_);
  if (n > 0) {
    write_position_ = 0;
    pending_end_ = static_cast<unsigned>(n);
    GoWriting();
    return true;
  }
  if (n == 0) {
    return GoFlush();
  }
  if (errno == EAGAIN) {
    GoReading();
    return false;
  }
  // Whatever was copied before, a broken source is a failed copy.
  error_ = errno;
  Complete(Status::kFailed);
  return false;
}

bool Copy::DstReady() {
  ssize_t n = write(destination_.get(), buffer_.get() + write_position_, pending_end_ - write_position_);
  if (n < 0 && errno == EAGAIN) {
    Wait(destination_event_, events_.destination);
    return false;
  }
  if (n <= 0) {
    error_ = n < 0 ? errno : 0;
    Complete(Status::kFailed);
    return false;
  }
  written_ += static_cast<uint32_t>(n);
  write_position_ += static_cast<unsigned>(n);
  if (write_position_ < pending_end_) {
    return true;
  }
  if (state_ == Status::kDraining) {
    return GoFlushDst();
  }
  GoReading();
  return true;
}

bool Copy::GoFlush() {
  source_event_.Release();
  source_.close();
  if (next_ == &Copy::DstReady) {
    state_ = Status::kDraining;
    return true;
  }
  return GoFlushDst();
}

bool Copy::GoFlushDst() {
  if (events_.flush == 0) {
    Complete(Status::kDone);
    return false;
  }
  Wait(destination_event_, events_.flush);
  next_ = &Copy::NotReady;
  state_ = Status::kFlushing;
  return false;
}

bool Copy::IsRunning() const {
  return state_ == Status::kCopying || state_ == Status::kDraining || state_ == Status::kFlushing;
}

void Copy::Complete(Status::Type status) {
  if (!IsRunning()) {
    return;
  }
  source_event_.UnBind();
  destination_event_.UnBind();
  state_ = status;
  source_event_.Release();
  destination_event_.Release();
  source_.close();
  destination_.close();
  next_ = &Copy::NotReady;
  if (handler_ != nullptr) {
    handler_->Invoke(status);
  }
}

void Copy::OnSrcEvent(int, short revents) {
  if ((revents & events_.source) != 0) {
    Progress();
    return;
  }
  if ((revents & kTrouble) != 0) {
    // The read that follows reports the end or the error.
    source_event_.Release();
    Progress();
  }
}

void Copy::OnDstEvent(int, short revents) {
  if ((revents & kTrouble) != 0) {
    error_ = 0;
    Complete(Status::kFailed);
    return;
  }
  if (state_ == Status::kFlushing) {
    if ((revents & events_.flush) != 0) {
      Complete(Status::kDone);
    }
    return;
  }
  if (IsRunning() && (revents & events_.destination) != 0) {
    Progress();
  }
}

}  // namespace ASync
