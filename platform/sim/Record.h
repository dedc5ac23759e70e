#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace sim {

// A device record as a simulated driver sees it: bytes in the board's order
// (big-endian), read and written by field offset the way a kernel driver reads
// its own structure. The simulation decodes with this, never with the server's
// encoders, so a fault in one cannot hide in the other.
//
// Offsets come from the driver's own layout table; reaching past the record is a
// fault in the driver, not bad input (the board sized the record before the
// handler runs), hence the asserts.
class Record {
 public:
  explicit Record(size_t size) : bytes_(size, 0) {}
  explicit Record(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}

  size_t Size() const { return bytes_.size(); }
  const std::vector<uint8_t>& Bytes() const { return bytes_; }

  uint8_t U8(size_t offset) const {
    assert(offset < bytes_.size() && "field inside the driver's record layout");
    return bytes_[offset];
  }
  uint16_t U16(size_t offset) const { return static_cast<uint16_t>(U8(offset) << 8 | U8(offset + 1)); }
  uint32_t U32(size_t offset) const { return uint32_t{U16(offset)} << 16 | U16(offset + 2); }
  int32_t I32(size_t offset) const { return static_cast<int32_t>(U32(offset)); }

  Record& SetU8(size_t offset, uint8_t value) {
    assert(offset < bytes_.size() && "field inside the driver's record layout");
    bytes_[offset] = value;
    return *this;
  }
  Record& SetU16(size_t offset, uint16_t value) {
    SetU8(offset, static_cast<uint8_t>(value >> 8));
    return SetU8(offset + 1, static_cast<uint8_t>(value));
  }
  Record& SetU32(size_t offset, uint32_t value) {
    SetU16(offset, static_cast<uint16_t>(value >> 16));
    return SetU16(offset + 2, static_cast<uint16_t>(value));
  }
  Record& SetI32(size_t offset, int32_t value) { return SetU32(offset, static_cast<uint32_t>(value)); }

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace sim
