#pragma once

#include "asn1/AbstractData.h"

#include <cstdint>
#include <string>

namespace ASN1 {

// INTEGER, with or without a range. A range up to 4294967295 stores its value's bits in the signed field; the
// descriptor says how to read them.
class INTEGER : public ConstrainedObject {
 public:
  static const ConstrainedInfo theInfo;  // unconstrained
  static AbstractData* create(const TypeInfo* info);

  explicit INTEGER(const ConstrainedInfo* info = &theInfo) : ConstrainedObject(info) {}
  INTEGER(int value, const ConstrainedInfo* info) : ConstrainedObject(info), value_(value) {}

  int getValue() const { return value_; }
  void setValue(int value) { value_ = value; }
  // Whether the value lies within its range (always, without one). A range with a negative lower bound reads the
  // value as signed, any other range as an unsigned word, as the coders do.
  bool isStrictValid() const;

  int do_compare(const AbstractData& other) const override;
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& visitor) override;
  bool do_accept(ConstVisitor& visitor) const override;

 private:
  int32_t value_ = 0;
};

class IntegerWithNamedNumber : public INTEGER {
 public:
  static AbstractData* create(const TypeInfo* info);

  explicit IntegerWithNamedNumber(const NamedNumberInfo* info) : INTEGER(info) {}

  const NamedNumberInfo* info() const { return static_cast<const NamedNumberInfo*>(info_); }
  // False when the value has no name.
  bool getName(std::string& name) const;
  // False, leaving the value alone, when no number has that name.
  bool setFromName(const std::string& name);

  AbstractData* do_clone() const override;
  bool do_accept(Visitor& visitor) override;
  bool do_accept(ConstVisitor& visitor) const override;
};

// An INTEGER whose type is a range, with its own descriptor.
template <ConstraintType type, int32_t lower, uint32_t upper>
class Constrained_INTEGER : public INTEGER {
 public:
  static const ConstrainedInfo theInfo;

  Constrained_INTEGER() : INTEGER(&theInfo) {}

  unsigned getValue() const { return static_cast<unsigned>(INTEGER::getValue()); }
  // Stored as is: range violations show in the encoder.
  Constrained_INTEGER& operator=(unsigned value) {
    setValue(static_cast<int>(value));
    return *this;
  }
};

template <ConstraintType type, int32_t lower, uint32_t upper>
const ConstrainedInfo Constrained_INTEGER<type, lower, upper>::theInfo = {
    {&CreateAs<Constrained_INTEGER<type, lower, upper>>, kUniversalInteger}, type, lower, upper};

}  // namespace ASN1
