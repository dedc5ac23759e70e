#include "asn1/Integer.h"

#include "asn1/Visitor.h"

namespace ASN1 {

const ConstrainedInfo INTEGER::theInfo = {
    {&INTEGER::create, kUniversalInteger}, ConstraintType::Unconstrained, 0, 0xFFFFFFFF};

AbstractData* INTEGER::create(const TypeInfo* info) {
  return new INTEGER(static_cast<const ConstrainedInfo*>(info));
}

bool INTEGER::isStrictValid() const {
  const ConstrainedInfo& range = *info();
  if (range.type == ConstraintType::Unconstrained) {
    return true;
  }
  const int64_t number = range.lower < 0 ? int64_t{value_} : int64_t{static_cast<uint32_t>(value_)};
  return number >= range.lower && number <= int64_t{range.upper};
}

int INTEGER::do_compare(const AbstractData& data) const {
  const int32_t other = boost::polymorphic_downcast<const INTEGER*>(&data)->value_;
  return (value_ > other) - (value_ < other);
}

AbstractData* INTEGER::do_clone() const {
  INTEGER* copy = CreateSameType(*this);
  copy->value_ = value_;
  return copy;
}

bool INTEGER::do_accept(Visitor& visitor) {
  return visitor.do_visit(*this);
}
bool INTEGER::do_accept(ConstVisitor& visitor) const {
  return visitor.do_visit(*this);
}

AbstractData* IntegerWithNamedNumber::create(const TypeInfo* info) {
  return new IntegerWithNamedNumber(static_cast<const NamedNumberInfo*>(info));
}

bool IntegerWithNamedNumber::getName(std::string& name) const {
  const NamedValue* first = info()->namedNumbers;
  const NamedValue* last = first + info()->namedNumberCount;
  const int value = INTEGER::getValue();
  while (first < last) {
    const NamedValue* middle = first + (last - first) / 2;
    if (middle->value == value) {
      name = middle->name;
      return true;
    }
    if (middle->value < value) {
      first = middle + 1;
    } else {
      last = middle;
    }
  }
  return false;
}

bool IntegerWithNamedNumber::setFromName(const std::string& name) {
  for (uint32_t i = 0; i < info()->namedNumberCount; ++i) {
    if (name == info()->namedNumbers[i].name) {
      setValue(info()->namedNumbers[i].value);
      return true;
    }
  }
  return false;
}

AbstractData* IntegerWithNamedNumber::do_clone() const {
  IntegerWithNamedNumber* copy = CreateSameType(*this);
  copy->setValue(INTEGER::getValue());
  return copy;
}

bool IntegerWithNamedNumber::do_accept(Visitor& visitor) {
  return visitor.do_visit(*this);
}
bool IntegerWithNamedNumber::do_accept(ConstVisitor& visitor) const {
  return visitor.do_visit(*this);
}

}  // namespace ASN1
