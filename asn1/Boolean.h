#pragma once

#include "asn1/AbstractData.h"

namespace ASN1 {

class BOOLEAN : public AbstractData {
 public:
  static const TypeInfo theInfo;
  static AbstractData* create(const TypeInfo* info);

  explicit BOOLEAN(const TypeInfo* info = &theInfo) : AbstractData(info) {}
  BOOLEAN(bool value, const TypeInfo* info) : AbstractData(info), value_(value) {}

  bool getValue() const { return value_; }
  void setValue(bool value) { value_ = value; }

  int do_compare(const AbstractData& other) const override;
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& visitor) override;
  bool do_accept(ConstVisitor& visitor) const override;

 private:
  bool value_ = false;
};

}  // namespace ASN1
