#pragma once

#include "asn1/AbstractData.h"

#include <cstdint>
#include <vector>

namespace ASN1 {

// BIT STRING; bit 0 is the most significant bit of byte 0.
class BIT_STRING : public ConstrainedObject {
 public:
  static const ConstrainedInfo theInfo;  // no size constraint
  static AbstractData* create(const TypeInfo* info);

  explicit BIT_STRING(const ConstrainedInfo* info = &theInfo) : ConstrainedObject(info) {}

  uint32_t size() const { return totalBits_; }
  // New bits are clear.
  void resize(uint32_t bits);
  bool operator[](uint32_t i) const { return i < totalBits_ && (bits_[i / 8] & (0x80 >> (i % 8))) != 0; }
  void set(uint32_t i, bool value);
  std::vector<uint8_t>& bytes() { return bits_; }
  const std::vector<uint8_t>& bytes() const { return bits_; }

  int do_compare(const AbstractData& other) const override;
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& visitor) override;
  bool do_accept(ConstVisitor& visitor) const override;

 private:
  uint32_t totalBits_ = 0;
  std::vector<uint8_t> bits_;
};

}  // namespace ASN1
