#pragma once

#include "asn1/AbstractData.h"

#include <string>
#include <vector>

namespace ASN1 {

// OCTET STRING; the octets are the vector itself.
class OCTET_STRING : public ConstrainedObject, public std::vector<char> {
 public:
  static const ConstrainedInfo theInfo;  // no size constraint
  static AbstractData* create(const TypeInfo* info);

  explicit OCTET_STRING(const ConstrainedInfo* info = &theInfo) : ConstrainedObject(info) {}
  OCTET_STRING(size_t count, char fill, const ConstrainedInfo* info)
      : ConstrainedObject(info), std::vector<char>(count, fill) {}
  OCTET_STRING(const std::vector<char>& octets, const ConstrainedInfo* info)
      : ConstrainedObject(info), std::vector<char>(octets) {}

  operator std::string() const { return std::string(begin(), end()); }

  int do_compare(const AbstractData& other) const override;
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& visitor) override;
  bool do_accept(ConstVisitor& visitor) const override;
};

}  // namespace ASN1
