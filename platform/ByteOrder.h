#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace platform {

// Big-endian access byte by byte, so host byte order, alignment and padding never
// matter. Callers have checked that the bytes are there.
inline uint16_t LoadBe16(const uint8_t* p) {
  return static_cast<uint16_t>(uint16_t{p[0]} << 8 | p[1]);
}
inline uint32_t LoadBe32(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}
inline void StoreBe16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}
inline void StoreBe32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

// Builds a device record in the board's byte order. Writing past the record's
// size is a programming error (the layout is fixed), caught by the assert.
class BeWriter {
 public:
  BeWriter(uint8_t* data, size_t size) : data_(data), size_(size) {}

  BeWriter& U8(uint8_t v) { return Put(&v, 1); }
  BeWriter& U16(uint16_t v) {
    uint8_t b[2];
    StoreBe16(b, v);
    return Put(b, 2);
  }
  BeWriter& U32(uint32_t v) {
    uint8_t b[4];
    StoreBe32(b, v);
    return Put(b, 4);
  }
  BeWriter& I32(int32_t v) { return U32(static_cast<uint32_t>(v)); }
  BeWriter& Bytes(const void* p, size_t n) { return Put(static_cast<const uint8_t*>(p), n); }
  // Padding the board's compiler inserts between fields.
  BeWriter& Zero(size_t n) {
    for (size_t i = 0; i < n; ++i) {
      U8(0);
    }
    return *this;
  }

  size_t Position() const { return position_; }
  // True when a field did not fit; the record must not be sent.
  bool Overflowed() const { return overflow_; }

 private:
  BeWriter& Put(const uint8_t* p, size_t n) {
    if (n > size_ - position_) {
      overflow_ = true;
      return *this;
    }
    std::memcpy(data_ + position_, p, n);
    position_ += n;
    return *this;
  }

  uint8_t* data_;
  size_t size_;
  size_t position_ = 0;
  bool overflow_ = false;
};

// Reads a record in the board's byte order. A read past the end yields zero and
// marks the reader failed, so a short record is refused as a whole.
class BeReader {
 public:
  BeReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  uint8_t U8() {
    uint8_t v = 0;
    Get(&v, 1);
    return v;
  }
  uint16_t U16() {
    uint8_t b[2] = {};
    return Get(b, 2) ? LoadBe16(b) : 0;
  }
  uint32_t U32() {
    uint8_t b[4] = {};
    return Get(b, 4) ? LoadBe32(b) : 0;
  }
  int32_t I32() { return static_cast<int32_t>(U32()); }
  bool Bytes(void* out, size_t n) { return Get(static_cast<uint8_t*>(out), n); }
  void Skip(size_t n) {
    if (n > size_ - position_) {
      failed_ = true;
      position_ = size_;
      return;
    }
    position_ += n;
  }

  bool Ok() const { return !failed_; }
  size_t Remaining() const { return size_ - position_; }

 private:
  bool Get(uint8_t* out, size_t n) {
    if (n > size_ - position_) {
      failed_ = true;
      position_ = size_;
      return false;
    }
    std::memcpy(out, data_ + position_, n);
    position_ += n;
    return true;
  }

  const uint8_t* data_;
  size_t size_;
  size_t position_ = 0;
  bool failed_ = false;
};

}  // namespace platform
