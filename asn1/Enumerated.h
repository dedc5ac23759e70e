#pragma once

#include "asn1/AbstractData.h"

#include <cstdint>
#include <string>

namespace ASN1 {

// ENUMERATED of any type; generated classes add the NamedNumber enumeration.
class ENUMERATED : public AbstractData {
 public:
  static AbstractData* create(const TypeInfo* info);

  explicit ENUMERATED(const EnumeratedInfo* info) : AbstractData(info) {}
  ENUMERATED(const ENUMERATED&) = default;
  ENUMERATED& operator=(const ENUMERATED&) = default;
  void swap(ENUMERATED& other);

  const EnumeratedInfo* info() const { return static_cast<const EnumeratedInfo*>(info_); }
  int getValue() const { return value_; }
  void setValue(int value) { value_ = value; }
  bool extendable() const { return info()->extendable; }
  // The largest root value.
  int getMaximum() const { return info()->maxValue; }
  // Whether the value is at most the largest root value; negative values pass, since types may declare one.
  bool isStrictlyValid() const { return value_ <= getMaximum(); }
  // The enumerator's name, found by value (declared negative values too); null when the value names no enumerator.
  const char* getName() const;
  // False when no enumerator has that name; the value is then one above the largest root value, so a failed lookup
  // never passes for an enumerator: the validity checks refuse it (an extendable type's strict one).
  bool setFromName(const std::string& name);

  int do_compare(const AbstractData& other) const override;
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& visitor) override;
  bool do_accept(ConstVisitor& visitor) const override;

 private:
  int32_t value_ = 0;
};

}  // namespace ASN1
