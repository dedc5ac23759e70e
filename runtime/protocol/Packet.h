#pragma once

#include "runtime/containers/Smart_pointer.h"

#include <cstdint>
#include <iosfwd>
#include <string>

constexpr unsigned packet_max_size = 65536;

// One pooled frame buffer: the data window [data, tail) inside a fixed
// 64 KiB buffer, with head room before it and tail room after it. Only Packet
// handles touch it; the reference count says how many share it.
class _Packet {
 public:
  _Packet() : data(buffer + packet_max_size), tail(data) {}
  _Packet(const _Packet&) = delete;
  _Packet& operator=(const _Packet&) = delete;

  void add_ref() { ++ref_count; }
  // The last reference hands the buffer back to the pool.
  void release();

  unsigned _length() const { return static_cast<unsigned>(tail - data); }
  unsigned _headroom() const { return static_cast<unsigned>(data - buffer); }
  unsigned _tailroom() const { return static_cast<unsigned>(buffer + packet_max_size - tail); }
  // buffer start <= data <= tail <= buffer end
  bool pointers_valid() const;

  uint32_t ref_count = 0;
  uint8_t* data;
  uint8_t* tail;
  uint8_t buffer[packet_max_size];
};

// Copy-on-write handle to a pooled buffer. Copies share the buffer; any
// modification first gives the modifying handle a private copy. The 1024
// buffers are static: an empty pool throws std::bad_alloc (the only exception
// of the program), and a broken buffer invariant ends the process with a dump
// of the packet.
class Packet : public Smart_pointer<_Packet> {
 public:
  using Smart_pointer<_Packet>::Smart_pointer;

  // On a null handle: takes a buffer whose data window starts len bytes in.
  // Otherwise moves the window len bytes towards the end. Used on empty
  // packets, lowest layer first, to gather the header room of a stack.
  void reserve_head(unsigned len);
  // As reserve_head, for room after the data: the window ends len bytes
  // before the buffer end, or moves len bytes towards the start.
  void reserve_tail(unsigned len);

  // Appending at the tail.
  void put8(uint8_t value);
  void put16_b(unsigned short value);  // high byte first
  void put16(unsigned short value);    // low byte first
  void put(const uint8_t* bytes, unsigned len);
  void put(const Packet& other);
  // One length byte, then the characters; at most 255 characters.
  void put(const std::string& text);
  // Receivers write straight into the tail room, then advance the tail by
  // what they wrote.
  uint8_t* tail_buffer();
  void advance_tail(unsigned len);

  // Prepending at the head.
  void push8(uint8_t value);
  void push16_b(unsigned short value);  // reads high byte first in the buffer

  // Taking from the head. The 16-bit and string forms read missing bytes as 0.
  uint8_t pull8();
  unsigned short pull16_b();
  unsigned short pull16_l();
  std::string pull_string();

  // Removes len bytes at the tail.
  void trim(unsigned len);

  uint8_t operator[](unsigned index) const;
  unsigned length() const;
  // The first data byte, for reading; null for a null handle.
  const uint8_t* data() const;
  // A private copy of len bytes starting start bytes into the data.
  Packet sub(unsigned len, unsigned start) const;

  // "03 00 00 1C"; "(null)" for a null handle.
  std::string text() const;
  // "head=H, data=L, tail=T"; false for a null handle.
  bool dump(std::ostream& os) const;
  // "dump:" and each data byte in hexadecimal; false for a null handle.
  bool dump_context(std::ostream& os) const;

  // Gives this handle a buffer of its own before it is changed.
  _Packet& prepare_for_modify();

  void passert(bool condition, const char* message) const {
    if (!condition) {
      assertion_failed(message);
    }
  }
  void check(const char* operation) const;
  [[noreturn]] static void check_fail(const char* format, ...) __attribute__((format(printf, 1, 2)));

 private:
  [[noreturn]] void assertion_failed(const char* message) const;
  // Makes this handle the only holder of a fresh pool buffer whose window
  // starts offset bytes in; the handle is unchanged when the pool is empty.
  _Packet& take_buffer(unsigned offset);
};
