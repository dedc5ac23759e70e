#pragma once

#include "asn1/AbstractData.h"

#include <string>

namespace ASN1 {

// BMPString: one code point per element of the wide string.
class BMPString : public ConstrainedObject, public std::wstring {
 public:
  static const BMPStringInfo theInfo;
  static AbstractData* create(const TypeInfo* info);

  explicit BMPString(const BMPStringInfo* info = &theInfo) : ConstrainedObject(info) {}
  BMPString(const std::wstring& text, const BMPStringInfo* info) : ConstrainedObject(info), std::wstring(text) {}
  BMPString(const wchar_t* text, const BMPStringInfo* info) : ConstrainedObject(info), std::wstring(text) {}

  const BMPStringInfo* info() const { return static_cast<const BMPStringInfo*>(info_); }
  // Whether the character lies within the type's first and last character.
  bool legalCharacter(wchar_t character) const;
  // The index of the first character that is not legal, or the length when there is none.
  size_t first_illegal_at() const;
  // The size keeps its constraint (an extendable one may be exceeded unless strictly) and every character is legal.
  bool isValid() const;
  bool isStrictlyValid() const;

  int do_compare(const AbstractData& other) const override;
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& visitor) override;
  bool do_accept(ConstVisitor& visitor) const override;
};

}  // namespace ASN1
