#pragma once

#include "runtime/loop/Event.h"

#include <array>
#include <cstdint>
#include <list>
#include <string>

// A small TCP server for TPKT-framed messages (RFC 1006): every complete frame
// a client sends goes to the handler, and Send answers the client being served
// or copies a message to every client. Owns the listening socket and the
// accepted connections.
class TPKTTracer {
 public:
  class Handler {
   public:
    virtual ~Handler() = default;
    virtual void OnMessage(const uint8_t* data, unsigned len) = 0;
  };

  TPKTTracer() = default;
  TPKTTracer(const TPKTTracer&) = delete;
  TPKTTracer& operator=(const TPKTTracer&) = delete;

  // Borrowed; null drops every frame.
  void SetHandler(Handler* handler) { handler_ = handler; }
  // Listens on every local address; false (and nothing held) on failure.
  [[nodiscard]] bool Listen(unsigned short port);
  // Inside a handler call the frame goes to the client being served only,
  // otherwise to every client. A client that cannot take the whole frame at
  // once is dropped: a slow client must not stall the loop.
  void Send(const void* data, unsigned len);

 private:
  struct Connection {
    enum State : uint32_t { kBody = 0, kHeader = 1 };
    uint32_t state = kHeader;
    uint32_t expected = 4;
    uint32_t received = 0;
    Event event;
    std::array<uint8_t, 512> buffer{};
  };
  using Connections = std::list<Connection>;

  void OnEvent(int fd, short revents);
  void OnDataEvent(int fd, short revents);
  // Each of these returns false when it closed the connection.
  [[nodiscard]] bool ReadFrames(Connections::iterator connection);
  [[nodiscard]] bool OnBytesComplete(Connections::iterator connection);
  [[nodiscard]] bool SendTo(Connections::iterator connection, const uint8_t* header, const void* data, unsigned len);
  // The connection being served keeps its buffer until the handler returns.
  void CloseConnection(Connections::iterator connection, const std::string& reason);
  Connections::iterator FindConnection(int fd);

  Handler* handler_ = nullptr;
  Event listener_;
  Connections connections_;
  Connections::iterator served_ = connections_.end();
};
