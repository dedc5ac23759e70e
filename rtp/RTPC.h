#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The RTCP packets the server sends itself (RFC 3550 wire format): a source
// description when an RTP session begins and a goodbye when it ends. A message
// is built on the stack, encoded once into the caller's buffer and dropped.
namespace RTPC {

class Msg {
 public:
  explicit Msg(uint32_t ssrc) : ssrc(ssrc) {}
  virtual ~Msg() = default;

  virtual unsigned pt() const = 0;
  virtual unsigned count() const = 0;
  // Writes the part after the common header within size bytes; its length (a
  // multiple of 4), or 0 when it does not fit.
  virtual unsigned encode_body(char* buffer, unsigned size) const = 0;

  // The whole packet, never past size; its length (a multiple of 4), or 0
  // when no valid packet fits.
  unsigned encode(char* buffer, unsigned size) const;

  uint32_t ssrc;
};

// One chunk describing the session's source with its items.
class SDES : public Msg {
 public:
  struct Item {
    // The RFC 3550 item type numbers.
    enum Type : uint8_t { CNAME = 1, NAME = 2, EMAIL = 3, PHONE = 4, LOC = 5, TOOL = 6, NOTE = 7, PRIV = 8 };
    Type type;
    std::string text;
  };

  explicit SDES(uint32_t ssrc) : Msg(ssrc) {}

  unsigned pt() const override { return 202; }
  unsigned count() const override { return 1; }
  // Items that do not fit are dropped, from the first that does not on.
  unsigned encode_body(char* buffer, unsigned size) const override;

  void add(Item::Type type, const std::string& text) { items_.push_back(Item{type, text}); }

 private:
  std::vector<Item> items_;
};

// The session's source leaves, with a reason.
class BYE : public Msg {
 public:
  BYE(uint32_t ssrc, std::string reason) : Msg(ssrc), reason_(std::move(reason)) {}

  unsigned pt() const override { return 203; }
  unsigned count() const override { return 1; }
  // The reason is cut to what fits.
  unsigned encode_body(char* buffer, unsigned size) const override;

 private:
  std::string reason_;
};

}  // namespace RTPC
