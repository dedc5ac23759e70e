#pragma once

#include <cstdint>
#include <ostream>
#include <string>

class Protocol;

// A report passed between protocol layers and their owner: which layer made
// it, whether it is a success, and a text. Shared through
// Smart_pointer<Internal_protocol_status>; the last handle deletes it.
class Internal_protocol_status {
 public:
  Internal_protocol_status(Protocol* source, std::string text) : source_(source), text_(std::move(text)) {}
  Internal_protocol_status(const Internal_protocol_status&) = delete;
  Internal_protocol_status& operator=(const Internal_protocol_status&) = delete;
  virtual ~Internal_protocol_status() = default;

  virtual bool success() const = 0;
  virtual std::string message() const { return text_; }
  virtual void out(std::ostream& os) const { os << text_; }

  Protocol* source() const { return source_; }

  void add_ref() { ++ref_count_; }
  void release() {
    if (--ref_count_ == 0) {
      delete this;
    }
  }

 private:
  Protocol* source_;
  uint32_t ref_count_ = 0;
  std::string text_;
};

class Protocol_status_success : public Internal_protocol_status {
 public:
  using Internal_protocol_status::Internal_protocol_status;
  bool success() const override { return true; }
};

class Protocol_status_error : public Internal_protocol_status {
 public:
  using Internal_protocol_status::Internal_protocol_status;
  bool success() const override { return false; }
};

class Protocol_initialize_error : public Protocol_status_error {
 public:
  using Protocol_status_error::Protocol_status_error;
};
