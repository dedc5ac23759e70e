#pragma once

#include "asn1/Descriptors.h"
#include "asn1/ValuePool.h"

#include <boost/polymorphic_cast.hpp>

#include <cassert>
#include <iosfwd>
#include <string>

namespace ASN1 {

class Visitor;
class ConstVisitor;

// Base of every ASN.1 value. The value's type is its descriptor; the class only says which kind of value it is.
// Values are heap objects owned by their parent (SEQUENCE field, SEQUENCE OF element, CHOICE selection); they come
// from the value pool, since a message is dozens of them made and dropped together.
class AbstractData {
 public:
  virtual ~AbstractData() = default;

  static void* operator new(size_t bytes) { return ValuePool::Allocate(bytes); }
  static void operator delete(void* block, size_t bytes) noexcept { ValuePool::Release(block, bytes); }

  const TypeInfo* typeInfo() const { return info_; }

  // Negative, 0 or positive. Values of different descriptors never compare equal and are never looked into, since
  // their layouts need not match.
  int compare(const AbstractData& other) const;
  // A new copy of the same class and descriptor, owned by the caller.
  AbstractData* clone() const { return do_clone(); }
  bool accept(Visitor& visitor) { return do_accept(visitor); }
  bool accept(ConstVisitor& visitor) const { return do_accept(visitor); }

  // Value notation. print_on returns 0 or the failbit value; asValueNotation returns the text, followed by
  // kPrintFailedMarker when the value could not be printed, and never touches a shared stream, which is how log
  // lines print values.
  int print_on(std::ostream& stream) const;
  std::string asValueNotation() const;
  static constexpr const char* kPrintFailedMarker = " <unprintable>";
  // Value notation in. get_from returns 0 or the failbit value; the value may be partly filled on failure.
  bool setFromValueNotation(const std::string& text);
  int get_from(std::istream& stream);
  // Whether the value respects its constraints; a strictly valid one also keeps every extendable bound.
  bool isValid() const;
  bool isStrictlyValid() const;

  virtual int do_compare(const AbstractData& other) const = 0;
  virtual AbstractData* do_clone() const = 0;
  virtual bool do_accept(Visitor& visitor) = 0;
  virtual bool do_accept(ConstVisitor& visitor) const = 0;

 protected:
  explicit AbstractData(const TypeInfo* info) : info_(info) { assert(info && "every value has a descriptor"); }
  AbstractData(const AbstractData&) = default;
  AbstractData& operator=(const AbstractData&) = default;

  const TypeInfo* info_;
};

// Base of the kinds whose descriptor carries a value or size constraint.
class ConstrainedObject : public AbstractData {
 public:
  const ConstrainedInfo* info() const { return static_cast<const ConstrainedInfo*>(info_); }

 protected:
  explicit ConstrainedObject(const ConstrainedInfo* info) : AbstractData(info) {}
};

// The create function of a generated class: values built from its descriptor are objects of that class.
template <class T>
AbstractData* CreateAs(const TypeInfo* info) {
  assert(info == &T::theInfo && "a generated class creates values of its own type only");
  static_cast<void>(info);
  return new T;
}

// A fresh default value of the class and descriptor of `value`; clones start from it, so a clone of a generated
// value is again an object of the generated class.
template <class T>
T* CreateSameType(const T& value) {
  const TypeInfo* info = value.typeInfo();
  return boost::polymorphic_downcast<T*>(info->create(info));
}

}  // namespace ASN1
