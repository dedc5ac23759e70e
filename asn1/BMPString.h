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

  int do_compare(const AbstractData& other) const override;
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& visitor) override;
  bool do_accept(ConstVisitor& visitor) const override;
};

}  // namespace ASN1
