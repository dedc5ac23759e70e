#include "asn1/BMPString.h"

#include "asn1/ValidChecker.h"
#include "asn1/Visitor.h"

#include <algorithm>
#include <cwchar>

namespace ASN1 {

const BMPStringInfo BMPString::theInfo = {
    {{&BMPString::create, kUniversalBMPString}, ConstraintType::Unconstrained, 0, 0xFFFFFFFF}, 0, 0xFFFF, 16, 16};

AbstractData* BMPString::create(const TypeInfo* info) {
  return new BMPString(static_cast<const BMPStringInfo*>(info));
}

bool BMPString::legalCharacter(wchar_t character) const {
  const auto code = static_cast<uint32_t>(character);
  return code >= info()->firstChar && code <= info()->lastChar;
}

size_t BMPString::first_illegal_at() const {
  const auto illegal =
      std::find_if_not(begin(), end(), [this](wchar_t character) { return legalCharacter(character); });
  return static_cast<size_t>(illegal - begin());
}

bool BMPString::isValid() const {
  return SizeWithinConstraint(*info(), size(), false) && first_illegal_at() == size();
}

bool BMPString::isStrictlyValid() const {
  return SizeWithinConstraint(*info(), size(), true) && first_illegal_at() == size();
}

int BMPString::do_compare(const AbstractData& data) const {
  const std::wstring& other = *boost::polymorphic_downcast<const BMPString*>(&data);
  const size_t common = std::min(size(), other.size());
  if (const int result = std::wmemcmp(this->data(), other.data(), common)) {
    return result;
  }
  return (size() > other.size()) - (size() < other.size());
}

AbstractData* BMPString::do_clone() const {
  BMPString* copy = CreateSameType(*this);
  copy->assign(*this);
  return copy;
}

bool BMPString::do_accept(Visitor& visitor) {
  return visitor.do_visit(*this);
}
bool BMPString::do_accept(ConstVisitor& visitor) const {
  return visitor.do_visit(*this);
}

}  // namespace ASN1
