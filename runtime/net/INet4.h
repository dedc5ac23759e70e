#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace INet4 {

// An IPv4 socket address, port and address in network byte order, ready for
// bind() and connect().
class Addr {
 public:
  Addr() { Reset(); }
  // As the system gave it (accept, getpeername).
  explicit Addr(const sockaddr_in& address) : address_(address) {}

  // All zero, family AF_INET.
  void Reset();
  // "a.b.c.d:port" or "a.b.c.d" (any form inet_aton takes; no name lookup).
  // With a ":" the port must be a decimal 0..65535 with nothing after it; it is
  // stored and given back through port. Without one, port receives -1 and the
  // stored port stays. On false nothing is stored.
  [[nodiscard]] bool Assign(const char* text, int* port = nullptr);
  [[nodiscard]] bool Assign(const std::string& text, int* port = nullptr);
  // A network-order address.
  void Assign(unsigned long address);

  bool IsEqual(const Addr& other) const;
  // "a.b.c.d:port".
  void Put(std::ostream& os) const;
  std::string GetString() const;
  // The four address bytes in network order.
  std::vector<uint8_t> GetVector() const;

  const sockaddr* GetSockAddr() const { return reinterpret_cast<const sockaddr*>(&address_); }
  socklen_t GetSockLen() const { return sizeof address_; }

 private:
  sockaddr_in address_;
};

}  // namespace INet4
