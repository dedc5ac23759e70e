#include "asn1/SequenceOf.h"

#include "asn1/ValidChecker.h"
#include "asn1/Visitor.h"

#include <algorithm>

namespace ASN1 {

AbstractData* SEQUENCE_OF_Base::create(const TypeInfo* info) {
  return new SEQUENCE_OF_Base(static_cast<const SequenceOfInfo*>(info));
}

SEQUENCE_OF_Base::SEQUENCE_OF_Base(const SEQUENCE_OF_Base& other) : ConstrainedObject(other) {
  container_.reserve(other.container_.size());
  for (const auto& element : other.container_) {
    container_.emplace_back(element->clone());
  }
}

SEQUENCE_OF_Base& SEQUENCE_OF_Base::operator=(const SEQUENCE_OF_Base& other) {
  SEQUENCE_OF_Base copy(other);
  swap(copy);
  return *this;
}

void SEQUENCE_OF_Base::swap(SEQUENCE_OF_Base& other) {
  std::swap(info_, other.info_);
  container_.swap(other.container_);
}

void SEQUENCE_OF_Base::resize(size_t count) {
  if (count <= container_.size()) {
    container_.resize(count);
    return;
  }
  const TypeInfo* element_info = info()->elementInfo;
  container_.reserve(count);
  while (container_.size() < count) {
    container_.emplace_back(element_info->create(element_info));
  }
}

void SEQUENCE_OF_Base::insert(size_t position, size_t count, const AbstractData& element) {
  Container copies;
  for (size_t i = 0; i < count; ++i) {
    copies.emplace_back(element.clone());
  }
  insertCopies(position, copies);
}

void SEQUENCE_OF_Base::insertCopies(size_t position, Container& copies) {
  container_.insert(container_.begin() + static_cast<std::ptrdiff_t>(position), std::make_move_iterator(copies.begin()),
                    std::make_move_iterator(copies.end()));
}

void SEQUENCE_OF_Base::erase(size_t first, size_t last) {
  container_.erase(container_.begin() + static_cast<std::ptrdiff_t>(first),
                   container_.begin() + static_cast<std::ptrdiff_t>(last));
}

bool SEQUENCE_OF_Base::isValid() const {
  return SizeWithinConstraint(*info(), size(), false) &&
         std::all_of(container_.begin(), container_.end(), [](const auto& element) { return element->isValid(); });
}

bool SEQUENCE_OF_Base::isStrictlyValid() const {
  return SizeWithinConstraint(*info(), size(), true) &&
         std::all_of(container_.begin(), container_.end(),
                     [](const auto& element) { return element->isStrictlyValid(); });
}

int SEQUENCE_OF_Base::do_compare(const AbstractData& data) const {
  const SEQUENCE_OF_Base& other = *boost::polymorphic_downcast<const SEQUENCE_OF_Base*>(&data);
  const size_t common = std::min(container_.size(), other.container_.size());
  for (size_t i = 0; i < common; ++i) {
    if (const int result = container_[i]->compare(*other.container_[i])) {
      return result;
    }
  }
  return (container_.size() > other.container_.size()) - (container_.size() < other.container_.size());
}

AbstractData* SEQUENCE_OF_Base::do_clone() const {
  SEQUENCE_OF_Base* copy = CreateSameType(*this);
  *copy = *this;
  return copy;
}

bool SEQUENCE_OF_Base::do_accept(Visitor& visitor) {
  return visitor.do_visit(*this);
}
bool SEQUENCE_OF_Base::do_accept(ConstVisitor& visitor) const {
  return visitor.do_visit(*this);
}

}  // namespace ASN1
