#include "runtime/protocol/Tpkt_protocol.h"

#include "runtime/clock/Profile.h"

#include <algorithm>
#include <iostream>

namespace {

constexpr uint8_t kVersion = 0x03;
constexpr unsigned kHeaderSize = 4;
constexpr unsigned kReassemblyMs = 3000;

}  // namespace

void Tpkt_protocol::local_prepare_head(Packet& packet) {
  packet.reserve_head(kHeaderSize);
}

void Tpkt_protocol::local_prepare_tail(Packet& packet) {
  packet.reserve_tail(0);
}

Tpkt_protocol::~Tpkt_protocol() {
  *walk_ = Walk::kDestroyed;
}

void Tpkt_protocol::local_activate() {
  reset();
}

void Tpkt_protocol::local_deactivate() {
  reset();
  on_deactivate(Smart_pointer<Internal_protocol_status>(new Protocol_status_success(this, "TPKT deactivated")));
}

void Tpkt_protocol::reset() {
  // The rest of a chunk being walked belongs to the stream that was reset.
  *walk_ = Walk::kReset;
  timer_.reset();
  payload_.reset();
  state_ = State::kIdle;
  length_ = 0;
}

void Tpkt_protocol::on_timeout(Timer*) {
  std::clog << " TPKT packet timeout." << std::endl;
  reset();
}

// RFC 1006: TPKT header = version 3, reserved 0, 16-bit length of the whole frame.
void Tpkt_protocol::message(Packet& packet) {
  if (packet.length() > kMaxPayload) {
    // The length field would wrap and the peer would lose the framing.
    std::clog << "TPKT payload too big to send, length = " << packet.length() << " max = " << kMaxPayload << std::endl;
    return;
  }
  static Profile::Point point("Tpkt_protocol::message");
  point.begin();
  packet.push16_b(static_cast<unsigned short>(packet.length() + kHeaderSize));
  packet.push8(0x00);
  packet.push8(kVersion);
  point.end();
  transmit(packet);
}

void Tpkt_protocol::receive(Packet& chunk) {
  const uint8_t* at = chunk.data();
  const uint8_t* end = at + chunk.length();
  // A delivered payload's owner may tear the stack down, or destroy it: the
  // walk's state is shared so that it outlives the layer.
  const std::shared_ptr<Walk> walk = walk_;
  *walk = Walk::kGoingOn;
  while (at < end && *walk == Walk::kGoingOn) {
    at = consume(at, end);
  }
  if (*walk != Walk::kGoingOn) {
    return;
  }
  if (state_ == State::kIdle) {
    timer_.reset();
    return;
  }
  timer_.set(kReassemblyMs, &Tpkt_protocol::on_timeout, this);
}

const uint8_t* Tpkt_protocol::consume(const uint8_t* at, const uint8_t* end) {
  switch (state_) {
    case State::kIdle:
      if (*at == kVersion) {
        state_ = State::kReserved;
      } else {
        std::clog << name().name() << " bad TPKT packet start." << std::endl;
      }
      return at + 1;
    case State::kReserved:
      if (*at == 0x00) {
        state_ = State::kLengthHigh;
      } else {
        std::clog << name().name() << " bad TPKT reserved." << std::endl;
        state_ = State::kIdle;
      }
      return at + 1;
    case State::kLengthHigh:
      length_ = uint32_t{*at} << 8;
      state_ = State::kLengthLow;
      return at + 1;
    case State::kLengthLow:
      length_ |= *at;
      start_body();
      return at + 1;
    case State::kBody: {
      const unsigned take = static_cast<unsigned>(std::min<ptrdiff_t>(end - at, length_));
      payload_.put(at, take);
      length_ -= take;
      if (length_ == 0) {
        deliver();
      }
      return at + take;
    }
  }
  return end;
}

void Tpkt_protocol::start_body() {
  if (length_ < kHeaderSize) {
    std::clog << "TPKT too small " << length_ << std::endl;
    state_ = State::kIdle;
    return;
  }
  // At most 65531 bytes: always within a fresh packet's tail room.
  length_ -= kHeaderSize;
  payload_.reset();
  payload_.reserve_head(0);
  state_ = State::kBody;
  // A header-only frame is complete now, not when unrelated bytes follow.
  if (length_ == 0) {
    deliver();
  }
}

void Tpkt_protocol::deliver() {
  Packet payload = std::move(payload_);
  payload_.reset();
  state_ = State::kIdle;
  on_message(payload);
}
