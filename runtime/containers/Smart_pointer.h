#pragma once

#include "runtime/containers/PointerAssertion.h"

#include <utility>

// Handle to an object that keeps its own reference count. T provides add_ref()
// and release(); release() disposes of the object when its last reference goes
// (a status object deletes itself, a packet buffer returns to its pool).
// Dereferencing a null handle is a programming error and ends the process.
template <class T>
class Smart_pointer {
 public:
  Smart_pointer() = default;
  explicit Smart_pointer(T* object) : object_(object) { AddRef(); }
  Smart_pointer(const Smart_pointer& other) : object_(other.object_) { AddRef(); }
  Smart_pointer(Smart_pointer&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  ~Smart_pointer() { reset(); }

  Smart_pointer& operator=(Smart_pointer other) noexcept {
    std::swap(object_, other.object_);
    return *this;
  }

  // Drops this handle's reference; the handle becomes null.
  void reset() {
    T* object = std::exchange(object_, nullptr);
    if (object != nullptr) {
      object->release();
    }
  }

  T* get() const { return object_; }
  T& operator*() const { return *checked(); }
  T* operator->() const { return checked(); }
  explicit operator bool() const { return object_ != nullptr; }
  bool operator==(const Smart_pointer& other) const { return object_ == other.object_; }
  bool operator!=(const Smart_pointer& other) const { return object_ != other.object_; }

 private:
  void AddRef() {
    if (object_ != nullptr) {
      object_->add_ref();
    }
  }
  T* checked() const {
    if (object_ == nullptr) {
      SmartPtrAssertion();
    }
    return object_;
  }

  T* object_ = nullptr;
};
