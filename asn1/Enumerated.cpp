#include "asn1/Enumerated.h"

#include "asn1/Visitor.h"

#include <utility>

namespace ASN1 {

AbstractData* ENUMERATED::create(const TypeInfo* info) {
  return new ENUMERATED(static_cast<const EnumeratedInfo*>(info));
}

void ENUMERATED::swap(ENUMERATED& other) {
  std::swap(info_, other.info_);
  std::swap(value_, other.value_);
}

const char* ENUMERATED::getName() const {
  for (uint32_t i = 0; i < info()->nameCount; ++i) {
    if (info()->names[i].value == value_) {
      return info()->names[i].name;
    }
  }
  return nullptr;
}

bool ENUMERATED::setFromName(const std::string& name) {
  for (uint32_t i = 0; i < info()->nameCount; ++i) {
    if (name == info()->names[i].name) {
      value_ = info()->names[i].value;
      return true;
    }
  }
  // Wraps rather than overflows for a root that ends at the largest int.
  value_ = static_cast<int32_t>(static_cast<uint32_t>(info()->maxValue) + 1u);
  return false;
}

int ENUMERATED::do_compare(const AbstractData& data) const {
  const int32_t other = boost::polymorphic_downcast<const ENUMERATED*>(&data)->value_;
  return (value_ > other) - (value_ < other);
}

AbstractData* ENUMERATED::do_clone() const {
  ENUMERATED* copy = CreateSameType(*this);
  copy->value_ = value_;
  return copy;
}

bool ENUMERATED::do_accept(Visitor& visitor) {
  return visitor.do_visit(*this);
}
bool ENUMERATED::do_accept(ConstVisitor& visitor) const {
  return visitor.do_visit(*this);
}

}  // namespace ASN1
