#pragma once

class Packet;

// The transmit side of an HDLC channel, as a link layer sees the channel
// below it.
class GenericHDLC {
 public:
  virtual ~GenericHDLC() = default;

  // Sends one frame. True: the device took it (an empty frame is taken without
  // sending anything). False: it was not sent and stays the caller's; when the
  // device pushed back, on_hdlc_ready of the channel's sink follows once it
  // takes frames again.
  virtual bool hdlc_transmit(Packet& packet) = 0;
  virtual bool is_open() const = 0;
  // The device took the last frame and can take the next.
  virtual bool is_ready() const = 0;
};
