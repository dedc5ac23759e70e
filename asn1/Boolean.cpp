#include "asn1/Boolean.h"

#include "asn1/Visitor.h"

namespace ASN1 {

const TypeInfo BOOLEAN::theInfo = {&BOOLEAN::create, kUniversalBoolean};

AbstractData* BOOLEAN::create(const TypeInfo* info) {
  return new BOOLEAN(info);
}

int BOOLEAN::do_compare(const AbstractData& data) const {
  return int{value_} - int{boost::polymorphic_downcast<const BOOLEAN*>(&data)->value_};
}

AbstractData* BOOLEAN::do_clone() const {
  BOOLEAN* copy = CreateSameType(*this);
  copy->value_ = value_;
  return copy;
}

bool BOOLEAN::do_accept(Visitor& visitor) {
  return visitor.do_visit(*this);
}
bool BOOLEAN::do_accept(ConstVisitor& visitor) const {
  return visitor.do_visit(*this);
}

}  // namespace ASN1
