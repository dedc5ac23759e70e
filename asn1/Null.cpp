#include "asn1/Null.h"

#include "asn1/Visitor.h"

namespace ASN1 {

const TypeInfo Null::theInfo = {&Null::create, kUniversalNull};

AbstractData* Null::create(const TypeInfo* info) {
  return new Null(info);
}
int Null::do_compare(const AbstractData&) const {
  return 0;
}
AbstractData* Null::do_clone() const {
  return CreateSameType(*this);
}
bool Null::do_accept(Visitor& visitor) {
  return visitor.do_visit(*this);
}
bool Null::do_accept(ConstVisitor& visitor) const {
  return visitor.do_visit(*this);
}

}  // namespace ASN1
