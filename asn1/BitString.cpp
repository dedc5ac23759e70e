#include "asn1/BitString.h"

#include "asn1/Visitor.h"

#include <algorithm>

namespace ASN1 {

const ConstrainedInfo BIT_STRING::theInfo = {
    {&BIT_STRING::create, kUniversalBitString}, ConstraintType::Unconstrained, 0, 0xFFFFFFFF};

AbstractData* BIT_STRING::create(const TypeInfo* info) {
  return new BIT_STRING(static_cast<const ConstrainedInfo*>(info));
}

void BIT_STRING::resize(uint32_t bits) {
  totalBits_ = bits;
  bits_.resize((bits + 7) / 8);
  if (bits % 8 != 0) {
    bits_.back() &= static_cast<uint8_t>(0xFF00 >> (bits % 8));
  }
}

void BIT_STRING::set(uint32_t i, bool value) {
  if (i >= totalBits_) {
    return;
  }
  const auto mask = static_cast<uint8_t>(0x80 >> (i % 8));
  bits_[i / 8] = static_cast<uint8_t>(value ? bits_[i / 8] | mask : bits_[i / 8] & ~mask);
}

int BIT_STRING::do_compare(const AbstractData& data) const {
  const BIT_STRING& other = *boost::polymorphic_downcast<const BIT_STRING*>(&data);
  const size_t common = std::min(bits_.size(), other.bits_.size());
  for (size_t i = 0; i < common; ++i) {
    const int diff = bits_[i] ^ other.bits_[i];
    if (diff != 0) {
      return (bits_[i] & diff) - (other.bits_[i] & diff);
    }
  }
  return (totalBits_ > other.totalBits_) - (totalBits_ < other.totalBits_);
}

AbstractData* BIT_STRING::do_clone() const {
  BIT_STRING* copy = CreateSameType(*this);
  copy->totalBits_ = totalBits_;
  copy->bits_ = bits_;
  return copy;
}

bool BIT_STRING::do_accept(Visitor& visitor) {
  return visitor.do_visit(*this);
}
bool BIT_STRING::do_accept(ConstVisitor& visitor) const {
  return visitor.do_visit(*this);
}

}  // namespace ASN1
