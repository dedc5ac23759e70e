#pragma once

#include "asn1/AbstractData.h"

namespace ASN1 {

class Null : public AbstractData {
 public:
  static const TypeInfo theInfo;
  static AbstractData* create(const TypeInfo* info);

  explicit Null(const TypeInfo* info = &theInfo) : AbstractData(info) {}

  int do_compare(const AbstractData& other) const override;
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& visitor) override;
  bool do_accept(ConstVisitor& visitor) const override;
};

}  // namespace ASN1
