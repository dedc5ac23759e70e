#pragma once

#include "asn1/AbstractData.h"

#include <boost/polymorphic_cast.hpp>

#include <cstddef>
#include <memory>
#include <vector>

namespace ASN1 {

// SEQUENCE OF / SET OF any element type: a list of owned elements made from the element descriptor.
class SEQUENCE_OF_Base : public ConstrainedObject {
 public:
  using Container = std::vector<std::unique_ptr<AbstractData>, PoolAllocator<std::unique_ptr<AbstractData>>>;

  static AbstractData* create(const TypeInfo* info);

  explicit SEQUENCE_OF_Base(const SequenceOfInfo* info) : ConstrainedObject(info) {}
  SEQUENCE_OF_Base(const SEQUENCE_OF_Base& other);
  SEQUENCE_OF_Base& operator=(const SEQUENCE_OF_Base& other);
  void swap(SEQUENCE_OF_Base& other);

  const SequenceOfInfo* info() const { return static_cast<const SequenceOfInfo*>(info_); }
  size_t size() const { return container_.size(); }
  bool empty() const { return container_.empty(); }
  AbstractData& at(size_t index) { return *container_[index]; }
  const AbstractData& at(size_t index) const { return *container_[index]; }

  // Grows with default elements or deletes the surplus tail.
  void resize(size_t count);
  void insert(size_t position, size_t count, const AbstractData& element);
  // Inserts copies of the elements [first, last) before position; the range may lie in this very list, since it
  // is copied before anything moves.
  template <class Iterator>
  void insert(size_t position, Iterator first, Iterator last) {
    Container copies;
    for (; first != last; ++first) {
      copies.emplace_back(static_cast<const AbstractData&>(*first).clone());
    }
    insertCopies(position, copies);
  }
  void erase(size_t first, size_t last);
  void clear() { container_.clear(); }
  // The count keeps its constraint (an extendable one may be exceeded unless strictly) and every element is valid,
  // strictly valid for the strict check.
  bool isValid() const;
  bool isStrictlyValid() const;

  int do_compare(const AbstractData& other) const override;
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& visitor) override;
  bool do_accept(ConstVisitor& visitor) const override;

 protected:
  Container container_;

 private:
  // Moves the copies in before position.
  void insertCopies(size_t position, Container& copies);
};

// Iterator over the elements of a typed list: a position in the element vector.
template <class T>
class ElementIterator {
 public:
  using Position = const std::unique_ptr<AbstractData>*;

  ElementIterator() = default;
  explicit ElementIterator(Position position) : position_(position) {}

  T& operator*() const { return *boost::polymorphic_downcast<T*>(position_->get()); }
  T* operator->() const { return &**this; }
  ElementIterator& operator++() {
    ++position_;
    return *this;
  }
  ElementIterator operator++(int) {
    ElementIterator before = *this;
    ++position_;
    return before;
  }
  bool operator==(const ElementIterator& other) const { return position_ == other.position_; }
  bool operator!=(const ElementIterator& other) const { return position_ != other.position_; }
  Position position() const { return position_; }

 private:
  Position position_ = nullptr;
};

// Typed view of a list of T, with one descriptor per element type (universal tag 16 for SEQUENCE OF, 17 for SET OF).
template <class T, uint32_t tag = kUniversalSequence>
class SequenceOfType : public SEQUENCE_OF_Base {
 public:
  static const SequenceOfInfo theInfo;
  using iterator = ElementIterator<T>;
  using const_iterator = ElementIterator<const T>;

  SequenceOfType() : SEQUENCE_OF_Base(&theInfo) {}

  // Appends a copy.
  void push_back(const T& element) { container_.emplace_back(element.clone()); }
  T& operator[](size_t index) { return *boost::polymorphic_downcast<T*>(container_[index].get()); }
  const T& operator[](size_t index) const { return *boost::polymorphic_downcast<const T*>(container_[index].get()); }
  iterator begin() { return iterator(container_.data()); }
  iterator end() { return iterator(container_.data() + container_.size()); }
  const_iterator begin() const { return const_iterator(container_.data()); }
  const_iterator end() const { return const_iterator(container_.data() + container_.size()); }
  // Deletes the element; returns the position that follows.
  iterator erase(iterator position) {
    const size_t index = static_cast<size_t>(position.position() - container_.data());
    container_.erase(container_.begin() + static_cast<std::ptrdiff_t>(index));
    return iterator(container_.data() + index);
  }
  using SEQUENCE_OF_Base::erase;
};

template <class T, uint32_t tag>
const SequenceOfInfo SequenceOfType<T, tag>::theInfo = {
    {{&CreateAs<SequenceOfType<T, tag>>, tag}, ConstraintType::Unconstrained, 0, 0xFFFFFFFF}, &T::theInfo};

template <class T>
using SEQUENCE_OF = SequenceOfType<T, kUniversalSequence>;
template <class T>
using SET_OF = SequenceOfType<T, kUniversalSet>;

}  // namespace ASN1
