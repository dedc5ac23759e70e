#pragma once

#include "asn1/AbstractData.h"

#include <boost/polymorphic_cast.hpp>

#include <cstdint>
#include <memory>
#include <vector>

namespace ASN1 {

// A SEQUENCE (or SET) value of any type: the descriptor lists the fields, the value holds them. Presence of an
// optional field or extension is its bit in optionalMap / extensionMap; a field object, once created, lives as long
// as the value whether or not its bit is set, so removing and including a field again brings its old value back.
class SEQUENCE : public AbstractData {
 public:
  // Bit i is byte i / 8 under the mask 0x80 >> (i % 8); bits at or beyond totalBits read as clear.
  struct BitMap {
    uint32_t totalBits = 0;
    std::vector<uint8_t, PoolAllocator<uint8_t>> bits;

    bool operator[](uint32_t i) const { return i < totalBits && (bits[i / 8] & (0x80 >> (i % 8))) != 0; }
    void set(uint32_t i);
    void clear(uint32_t i);
    void resize(uint32_t n);
    bool any() const;
  };
  using FieldVector = std::vector<std::unique_ptr<AbstractData>, PoolAllocator<std::unique_ptr<AbstractData>>>;

  static const SequenceInfo theInfo;  // an empty, not extendable SEQUENCE
  static AbstractData* create(const TypeInfo* info);

  explicit SEQUENCE(const SequenceInfo* info = &theInfo);
  SEQUENCE(const SEQUENCE& other);
  SEQUENCE& operator=(const SEQUENCE& other);
  void swap(SEQUENCE& other);

  const SequenceInfo* info() const { return static_cast<const SequenceInfo*>(info_); }

  // Optional numbers: below optionalCount a bit of optionalMap, above it bit (n - optionalCount) of extensionMap.
  bool hasOptionalField(int n) const {
    if (n < 0) {
      return false;
    }
    const auto number = static_cast<uint32_t>(n);
    return number < optionalMap_.totalBits ? optionalMap_[number] : extensionMap_[number - optionalMap_.totalBits];
  }
  // Marks field `index` (whose optional number is n) present, creating it when it does not exist yet.
  void includeOptionalField(int n, int index);
  void removeOptionalField(int n);

  uint32_t fieldCount() const { return static_cast<uint32_t>(fields_.size()); }
  AbstractData* getField(uint32_t index) { return index < fields_.size() ? fields_[index].get() : nullptr; }
  const AbstractData* getField(uint32_t index) const { return index < fields_.size() ? fields_[index].get() : nullptr; }
  // The field as its class; the field must exist (mandatory, or optional and included).
  template <class T>
  T& fieldAs(uint32_t index) {
    assert(getField(index) && "the field exists");
    return *boost::polymorphic_downcast<T*>(fields_[index].get());
  }
  template <class T>
  const T& fieldAs(uint32_t index) const {
    assert(getField(index) && "the field exists");
    return *boost::polymorphic_downcast<const T*>(fields_[index].get());
  }
  // Creates field `index` from its descriptor when it is missing; null when it has no descriptor.
  AbstractData* createField(uint32_t index) {
    return index < fields_.size() && fields_[index] ? fields_[index].get() : makeField(index);
  }

  const BitMap& optionalMap() const { return optionalMap_; }
  const BitMap& extensionMap() const { return extensionMap_; }
  BitMap& optionalMap() { return optionalMap_; }
  BitMap& extensionMap() { return extensionMap_; }

  int do_compare(const AbstractData& other) const override;
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& visitor) override;
  bool do_accept(ConstVisitor& visitor) const override;

 private:
  AbstractData* makeField(uint32_t index);
  int compareField(const SEQUENCE& other, uint32_t index, int optionalNumber) const;

  FieldVector fields_;
  BitMap optionalMap_;
  BitMap extensionMap_;
};

}  // namespace ASN1
