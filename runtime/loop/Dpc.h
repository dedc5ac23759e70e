#pragma once

#include <memory>

class DpcHandler {
 public:
  virtual void Invoke() = 0;
  virtual ~DpcHandler() = default;
};

// Calls a member of its owner.
template <class X>
class TDpcHandler : public DpcHandler {
 public:
  TDpcHandler(X* obj, void (X::*method)()) : obj_(obj), method_(method) {}
  void Invoke() override { (obj_->*method_)(); }

 private:
  X* obj_;
  void (X::*method_)();
};

// Calls a plain function.
class DpcHandler1 : public DpcHandler {
 public:
  explicit DpcHandler1(void (*function)()) : function_(function) {}
  void Invoke() override { function_(); }

 private:
  void (*function_)();
};

// A deferred procedure call: runs twice on every loop pass while active.
class Dpc {
 public:
  Dpc() = default;
  Dpc(const Dpc&) = delete;
  Dpc& operator=(const Dpc&) = delete;
  ~Dpc();

  // Takes ownership of handler and deletes the one bound before.
  void Bind(DpcHandler* handler) { handler_.reset(handler); }
  template <class X>
  void Bind(X* obj, void (X::*method)()) {
    Bind(new TDpcHandler<X>(obj, method));
  }
  void Activate();
  void Deactivate();
  bool IsActive() const { return active_; }
  // Runs the bound handler, if any.
  void Invoke() {
    if (handler_ != nullptr) {
      handler_->Invoke();
    }
  }

 private:
  std::unique_ptr<DpcHandler> handler_;
  bool active_ = false;
};
