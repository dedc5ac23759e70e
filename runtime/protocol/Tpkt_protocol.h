#pragma once

#include "runtime/loop/Timer.h"
#include "runtime/protocol/Packet.h"
#include "runtime/protocol/Protocol.h"

#include <cstdint>
#include <memory>

// RFC 1006 TPKT framing over a byte stream: every message sent gets the
// header 03 00 <length of the whole frame, big-endian>; received bytes are
// cut into payloads by a byte-driven receiver that survives frames split
// across reads and several frames in one read, skips malformed headers with a
// log line, and drops a partial frame when 3000 ms pass without a byte.
class Tpkt_protocol : public Protocol {
 public:
  // The largest payload whose frame length fits the 16-bit field.
  static constexpr unsigned kMaxPayload = 0xFFFF - 4;

  Tpkt_protocol() = default;
  ~Tpkt_protocol() override;

  void local_prepare_head(Packet& packet) override;
  void local_prepare_tail(Packet& packet) override;
  void local_activate() override;
  void local_deactivate() override;
  // Frames a payload prepared with prepare_head and passes it down. A payload
  // too long for the length field is logged and dropped.
  void message(Packet& packet) override;
  // Consumes a chunk of the stream; complete payloads go up. A payload whose
  // delivery resets, deactivates or destroys the layer ends the chunk there.
  void receive(Packet& chunk) override;

  // Back to idle: no timer, no partial payload.
  void reset();
  void on_timeout(Timer* timer);

 private:
  enum class State { kIdle = 0, kReserved = 1, kLengthHigh = 2, kLengthLow = 3, kBody = 4 };

  void start_body();
  void deliver();
  // Consumes as much of [at, end) as the state wants; returns the new position.
  const uint8_t* consume(const uint8_t* at, const uint8_t* end);

  // While the header is read, the length field; in the body, the payload
  // bytes still expected.
  uint32_t length_ = 0;
  Timer timer_;
  State state_ = State::kIdle;
  Packet payload_;
  // While a chunk is walked: what a delivery did to the layer. Shared with
  // the walk, which still reads it after a delivery destroyed the layer.
  enum class Walk { kGoingOn, kReset, kDestroyed };
  std::shared_ptr<Walk> walk_ = std::make_shared<Walk>(Walk::kGoingOn);
};
