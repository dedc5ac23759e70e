#pragma once

// A stand-in for an SNMP agent program: it listens on a loopback port, takes
// the link's connection, cuts the TPKT frames and reads each MON message with
// a small aligned-PER reader of its own, so a fault in the server's coder
// cannot hide in the check.

#include "runtime/net/Fd.h"
#include "tests/support/ControlLoop.h"

#include <fcntl.h>
#include <sys/socket.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace agent_test {

// Reads bits most significant first; every read past the end fails the whole message.
class BitReader {
 public:
  explicit BitReader(const std::string& bytes) : bytes_(bytes) {}
  bool ok() const { return ok_; }
  // Only zero padding is left.
  bool AtEnd() {
    Align();
    return ok_ && bit_ == bytes_.size() * 8;
  }
  uint32_t Bits(int count) {
    uint32_t value = 0;
    for (int i = 0; i < count; ++i) {
      if (bit_ >= bytes_.size() * 8) {
        ok_ = false;
        return 0;
      }
      const uint8_t byte = static_cast<uint8_t>(bytes_[bit_ / 8]);
      value = value << 1 | ((byte >> (7 - bit_ % 8)) & 1u);
      ++bit_;
    }
    return value;
  }
  void Align() { bit_ = (bit_ + 7) / 8 * 8; }
  // X.691 10.9: an unconstrained length, one octet or two for 128..16383.
  uint32_t Length() {
    Align();
    const uint32_t first = Bits(8);
    if ((first & 0x80) == 0) {
      return first;
    }
    if ((first & 0xC0) != 0x80) {
      ok_ = false;
      return 0;
    }
    return (first & 0x3F) << 8 | Bits(8);
  }
  // X.691 12.2.6: an unconstrained whole number, two's complement in its own octets.
  int64_t Integer() {
    const uint32_t octets = Length();
    if (octets == 0 || octets > 4) {
      ok_ = false;
      return 0;
    }
    int64_t value = static_cast<int8_t>(Bits(8));
    for (uint32_t i = 1; i < octets; ++i) {
      value = value * 256 + Bits(8);
    }
    return value;
  }
  std::string Text() {
    const uint32_t length = Length();
    std::string text;
    for (uint32_t i = 0; i < length && ok_; ++i) {
      text += static_cast<char>(Bits(8));
    }
    return text;
  }

 private:
  const std::string& bytes_;
  size_t bit_ = 0;
  bool ok_ = true;
};

// The message as text: "ping", "trapsink{host,host:port}" or
// "set{uniq section.name[index]=value,...}" (an oid id as "oid:text"); nothing
// when the bytes are no such command.
inline std::optional<std::string> Decode(const std::string& payload) {
  BitReader in(payload);
  // Message { pdu PDU }: PDU index 0 of 3 is command; Command has an
  // extension bit and 4 root alternatives.
  if (in.Bits(2) != 0 || in.Bits(1) != 0) {
    return std::nullopt;
  }
  const uint32_t kind = in.Bits(2);
  std::string text;
  if (kind == 3) {
    text = "ping";
  } else if (kind == 1) {
    in.Bits(1);  // SnmpTrapsinks extension bit
    const uint32_t count = in.Length();
    text = "trapsink{";
    for (uint32_t i = 0; i < count && in.ok(); ++i) {
      in.Bits(1);  // extension bit
      const bool has_port = in.Bits(1) == 1;
      text += (i > 0 ? "," : "") + in.Text();
      if (has_port) {
        text += ":" + std::to_string(in.Integer());
      }
    }
    text += "}";
  } else if (kind == 0) {
    in.Bits(1);  // SnmpSetCommands extension bit
    const uint32_t count = in.Length();
    text = "set{";
    for (uint32_t i = 0; i < count && in.ok(); ++i) {
      in.Bits(1);  // extension bit
      text += (i > 0 ? "," : "") + std::to_string(in.Integer()) + " ";
      in.Bits(1);  // id extension bit
      if (in.Bits(1) == 1) {
        in.Bits(1);  // IniName extension bit
        text += in.Text() + ".";
        text += in.Text();
        text += "[" + std::to_string(in.Integer()) + "]";
      } else {
        text += "oid:" + in.Text();
      }
      text += "=" + in.Text();
    }
    text += "}";
  } else {
    return std::nullopt;
  }
  if (!in.AtEnd()) {
    return std::nullopt;
  }
  return text;
}

class FakeAgent {
 public:
  FakeAgent() : listener_(control_test::BoundSocket(true)) {
    EXPECT_EQ(fcntl(listener_.get(), F_SETFL, O_NONBLOCK), 0);
  }

  uint16_t port() const { return control_test::LocalPort(listener_.get()); }
  std::string host() const { return "127.0.0.1:" + std::to_string(port()); }
  // For waiting with poll: the listener, and the connection taken last.
  int listener() const { return listener_.get(); }
  int connection() const { return connection_.get(); }

  // Takes a waiting connection, if any.
  bool Accept() {
    Fd accepted(accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
    if (accepted.get() < 0) {
      return false;
    }
    connection_ = std::move(accepted);
    buffer_.clear();
    closed_ = false;
    return true;
  }
  bool closed() {
    Read();
    return closed_;
  }
  void Close() { connection_.close(); }
  void SendFrame(const std::string& payload) {
    const std::string frame = control_test::Frame(payload);
    EXPECT_EQ(send(connection_.get(), frame.data(), frame.size(), MSG_NOSIGNAL), static_cast<ssize_t>(frame.size()));
  }

  // The payloads of the whole frames that arrived, oldest first.
  std::vector<std::string> Payloads() {
    Read();
    std::vector<std::string> payloads;
    while (buffer_.size() >= 4) {
      const size_t length = static_cast<uint8_t>(buffer_[2]) << 8 | static_cast<uint8_t>(buffer_[3]);
      EXPECT_EQ(buffer_[0], '\x03');
      EXPECT_GE(length, 4u);
      if (length < 4 || buffer_.size() < length) {
        break;
      }
      payloads.push_back(buffer_.substr(4, length - 4));
      buffer_.erase(0, length);
    }
    return payloads;
  }

 private:
  void Read() {
    char chunk[65536];
    ssize_t n;
    while ((n = recv(connection_.get(), chunk, sizeof chunk, MSG_DONTWAIT)) > 0) {
      buffer_.append(chunk, static_cast<size_t>(n));
    }
    if (n == 0) {
      closed_ = true;
    }
  }

  Fd listener_;
  Fd connection_;
  std::string buffer_;
  bool closed_ = false;
};

}  // namespace agent_test
