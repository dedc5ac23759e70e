#pragma once

#include "runtime/loop/Event.h"
#include "runtime/net/Fd.h"
#include "runtime/net/INet4.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

class ModemFactory;

// One record of the dial-in authentication link, whole: words of 32 bits,
// big-endian, {size, type, session} then the body of its type.
using AuthRecord = std::vector<uint8_t>;

namespace AuthLink {

constexpr size_t kHeaderSize = 12;
constexpr size_t kMaxRecordSize = 512;

enum Type : uint32_t { kRequest = 1, kAccept = 2, kIpParameters = 3, kAccounting = 4 };

// The record's words from offset 4 on; the caller checked the header is there.
uint32_t TypeOf(const AuthRecord& record);
uint32_t SessionOf(const AuthRecord& record);

}  // namespace AuthLink

// One connection of the local authentication program. It reads records as
// their 4-byte size word and then the rest, and hands each whole record to the
// factory; a size word outside 12..512 closes the connection. A use count keeps
// the object alive through its own operations: it is deleted (by the factory)
// only once the outermost one that closed it has returned.
class AuthClient {
 public:
  AuthClient(Fd fd, const INet4::Addr& peer, ModemFactory& factory);
  AuthClient(const AuthClient&) = delete;
  AuthClient& operator=(const AuthClient&) = delete;

  // Starts watching the connection.
  void Activate();
  // True when the whole record was written; a write that fails or would block
  // closes the connection.
  [[nodiscard]] bool Send(const AuthRecord& record);

  bool IsOpen() const { return static_cast<bool>(event_.GetFd()); }
  const INet4::Addr& peer() const { return peer_; }
  // The session of the last record received; none before the first.
  std::optional<uint32_t> session() const { return session_; }

 private:
  void OnSocketEvent(int fd, short revents);
  void ReadPass();
  // The record in the buffer is complete when its size word says so.
  void OnBytes();
  void OnDisconnect();
  // Leaves a closed connection once no operation of its own is under way: the factory deletes it.
  void CheckDisconnect();

  Event event_;
  INet4::Addr peer_;
  int use_count_ = 0;
  std::array<uint8_t, AuthLink::kMaxRecordSize> buffer_{};
  size_t fill_ = 0;
  size_t end_ = 4;
  ModemFactory& factory_;
  std::optional<uint32_t> session_;
};
