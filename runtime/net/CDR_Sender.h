#pragma once

#include "runtime/net/Fd.h"

#include <string>

namespace CDR_Sender {

// Sends one text record, such as a call detail record, as a UDP datagram to
// each address of a list. Owns its datagram socket.
class Sender {
 public:
  Sender();
  virtual ~Sender() = default;

  // addresses: words separated by white space, each "a.b.c.d" or
  // "a.b.c.d:port" (port 0 without one). Every address is tried; false when the
  // socket is missing or any address was malformed or not sent to (each logged).
  [[nodiscard]] bool SendTo(const std::string& text, const std::string& addresses);

 private:
  Fd fd_;
};

}  // namespace CDR_Sender
