#include "asn1/OctetString.h"

#include "asn1/Visitor.h"

namespace ASN1 {

const ConstrainedInfo OCTET_STRING::theInfo = {
    {&OCTET_STRING::create, kUniversalOctetString}, ConstraintType::Unconstrained, 0, 0xFFFFFFFF};

AbstractData* OCTET_STRING::create(const TypeInfo* info) {
  return new OCTET_STRING(static_cast<const ConstrainedInfo*>(info));
}

int OCTET_STRING::do_compare(const AbstractData& data) const {
  const OCTET_STRING& other = *boost::polymorphic_downcast<const OCTET_STRING*>(&data);
  const auto* mine = reinterpret_cast<const uint8_t*>(this->data());
  const auto* theirs = reinterpret_cast<const uint8_t*>(other.data());
  return lexicographic_compare_bytes(mine, mine + size(), theirs, theirs + other.size());
}

AbstractData* OCTET_STRING::do_clone() const {
  OCTET_STRING* copy = CreateSameType(*this);
  copy->assign(begin(), end());
  return copy;
}

bool OCTET_STRING::do_accept(Visitor& visitor) {
  return visitor.do_visit(*this);
}
bool OCTET_STRING::do_accept(ConstVisitor& visitor) const {
  return visitor.do_visit(*this);
}

}  // namespace ASN1
