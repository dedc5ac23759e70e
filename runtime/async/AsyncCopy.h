#pragma once

#include "runtime/loop/Event.h"
#include "runtime/net/Fd.h"

#include <poll.h>

#include <cstdint>
#include <memory>

namespace ASync {

// Moves bytes from one non-blocking descriptor to another without ever
// blocking: a read or write that would block becomes a wait on the loop.
class Copy {
 public:
  struct Status {
    enum Type {
      kIdle = 0,        // never started
      kCopying = 1,     //
      kDraining = 2,    // source finished; the pending write is completing
      kFlushing = 3,    // all written; waiting for the flush events
      kFailed = 4,      // error() holds errno (0 for a hang-up or a zero-byte write)
      kDone = 5,        //
      kInterrupted = 6  // events or buffer size changed
    };
  };

  struct EventsParams {
    short source = POLLIN;
    short destination = POLLOUT;
    // 0: complete as soon as the last byte is written.
    short flush = POLLWRNORM;
  };

  class Handler {
   public:
    virtual ~Handler() = default;
    virtual void Invoke(Status::Type status) = 0;
  };

  template <class X>
  class THandler : public Handler {
   public:
    THandler(X* obj, void (X::*f)(Status::Type)) : obj_(obj), f_(f) {}
    void Invoke(Status::Type status) override { (obj_->*f_)(status); }

   private:
    X* obj_;
    void (X::*f_)(Status::Type);
  };

  Copy() = default;
  Copy(const Copy&) = delete;
  Copy& operator=(const Copy&) = delete;
  ~Copy() = default;

  // Takes ownership of handler and deletes the one bound before.
  void Bind(Handler* handler) { handler_.reset(handler); }
  template <class X>
  void Bind(X* obj, void (X::*f)(Status::Type)) {
    Bind(new THandler<X>(obj, f));
  }
  void UnBind() { handler_.reset(); }

  // Copies from duplicates of both descriptors until the source ends.
  void Start(const Fd& source, const Fd& destination);
  // Finishes as if the source had ended.
  void Stop();
  void set_events(const EventsParams& events);
  void set_bufsize(unsigned size);

  Status::Type status() const { return state_; }
  int error() const { return error_; }
  uint32_t written() const { return written_; }

 private:
  using Step = bool (Copy::*)();

  bool NotReady() { return false; }
  bool SrcReady();
  bool DstReady();
  void Progress();
  void GoReading();
  void GoWriting();
  bool GoFlush();
  bool GoFlushDst();
  void Complete(Status::Type status);
  bool IsRunning() const;
  void OnSrcEvent(int fd, short revents);
  void OnDstEvent(int fd, short revents);

  Fd source_;
  Fd destination_;
  EventsParams events_;
  unsigned buffer_size_ = 0;
  int error_ = 0;
  Step next_ = &Copy::NotReady;
  std::unique_ptr<Handler> handler_;
  Event source_event_;
  Event destination_event_;
  uint32_t written_ = 0;
  unsigned write_position_ = 0;
  unsigned pending_end_ = 0;
  Status::Type state_ = Status::kIdle;
  std::unique_ptr<uint8_t[]> buffer_;
};

}  // namespace ASync
