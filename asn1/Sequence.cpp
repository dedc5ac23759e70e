#include "asn1/Sequence.h"

#include "asn1/Visitor.h"

#include <algorithm>

namespace ASN1 {

const SequenceInfo SEQUENCE::theInfo = {
    {&SEQUENCE::create, kUniversalSequence}, false, nullptr, nullptr, 0, 0, 0, nullptr, nullptr, nullptr};

void SEQUENCE::BitMap::set(uint32_t i) {
  if (i < totalBits) {
    bits[i / 8] |= static_cast<uint8_t>(0x80 >> (i % 8));
  }
}

void SEQUENCE::BitMap::clear(uint32_t i) {
  if (i < totalBits) {
    bits[i / 8] &= static_cast<uint8_t>(~(0x80 >> (i % 8)));
  }
}

void SEQUENCE::BitMap::resize(uint32_t n) {
  totalBits = n;
  bits.resize((n + 7) / 8);
  // Bits past the end of a shrunk map must not reappear when it grows again.
  if (n % 8 != 0) {
    bits.back() &= static_cast<uint8_t>(0xFF00 >> (n % 8));
  }
}

bool SEQUENCE::BitMap::any() const {
  return std::any_of(bits.begin(), bits.end(), [](uint8_t byte) { return byte != 0; });
}

AbstractData* SEQUENCE::create(const TypeInfo* info) {
  return new SEQUENCE(static_cast<const SequenceInfo*>(info));
}

SEQUENCE::SEQUENCE(const SequenceInfo* info)
    : AbstractData(info), fields_(info->rootCount + info->knownExtensionCount) {
  optionalMap_.resize(info->optionalCount);
  for (uint32_t i = 0; i < info->rootCount; ++i) {
    if (info->fieldIds[i] == -1) {
      createField(i);
    }
  }
  if (info->mandatoryExtensions == nullptr) {
    return;
  }
  extensionMap_.resize(info->knownExtensionCount);
  std::copy(info->mandatoryExtensions, info->mandatoryExtensions + extensionMap_.bits.size(),
            extensionMap_.bits.begin());
  extensionMap_.resize(info->knownExtensionCount);
  for (uint32_t k = 0; k < info->knownExtensionCount; ++k) {
    if (extensionMap_[k]) {
      createField(info->rootCount + k);
    }
  }
}

SEQUENCE::SEQUENCE(const SEQUENCE& other)
    : AbstractData(other),
      fields_(other.fields_.size()),
      optionalMap_(other.optionalMap_),
      extensionMap_(other.extensionMap_) {
  for (size_t i = 0; i < fields_.size(); ++i) {
    if (other.fields_[i]) {
      fields_[i].reset(other.fields_[i]->clone());
    }
  }
}

SEQUENCE& SEQUENCE::operator=(const SEQUENCE& other) {
  SEQUENCE copy(other);
  swap(copy);
  return *this;
}

void SEQUENCE::swap(SEQUENCE& other) {
  std::swap(info_, other.info_);
  fields_.swap(other.fields_);
  std::swap(optionalMap_, other.optionalMap_);
  std::swap(extensionMap_, other.extensionMap_);
}

void SEQUENCE::includeOptionalField(int n, int index) {
  assert(n >= 0 && index >= 0 && static_cast<size_t>(index) < fields_.size() && "a field of this type");
  const uint32_t number = static_cast<uint32_t>(n);
  if (number < optionalMap_.totalBits) {
    optionalMap_.set(number);
  } else {
    const uint32_t bit = number - optionalMap_.totalBits;
    if (bit >= extensionMap_.totalBits) {
      extensionMap_.resize(bit + 1);
    }
    extensionMap_.set(bit);
  }
  createField(static_cast<uint32_t>(index));
}

void SEQUENCE::removeOptionalField(int n) {
  if (n < 0) {
    return;
  }
  const uint32_t number = static_cast<uint32_t>(n);
  if (number < optionalMap_.totalBits) {
    optionalMap_.clear(number);
  } else {
    extensionMap_.clear(number - optionalMap_.totalBits);
  }
}

AbstractData* SEQUENCE::makeField(uint32_t index) {
  if (index >= fields_.size()) {
    return nullptr;
  }
  const TypeInfo* field_info = info()->fieldInfos[index];
  if (field_info == nullptr) {
    return nullptr;
  }
  fields_[index].reset(field_info->create(field_info));
  return fields_[index].get();
}

int SEQUENCE::compareField(const SEQUENCE& other, uint32_t index, int optionalNumber) const {
  if (optionalNumber != -1) {
    const bool here = hasOptionalField(optionalNumber);
    const bool there = other.hasOptionalField(optionalNumber);
    if (here != there) {
      return here ? 1 : -1;
    }
    if (!here) {
      return 0;
    }
  }
  const AbstractData* mine = fields_[index].get();
  const AbstractData* theirs = other.fields_[index].get();
  if (mine == nullptr || theirs == nullptr) {
    return (mine != nullptr) - (theirs != nullptr);
  }
  return mine->compare(*theirs);
}

int SEQUENCE::do_compare(const AbstractData& data) const {
  const SEQUENCE& other = *boost::polymorphic_downcast<const SEQUENCE*>(&data);
  const SequenceInfo* sequence_info = info();
  for (uint32_t i = 0; i < sequence_info->rootCount; ++i) {
    if (const int result = compareField(other, i, sequence_info->fieldIds[i])) {
      return result;
    }
  }
  for (uint32_t k = 0; k < sequence_info->knownExtensionCount; ++k) {
    const int number = static_cast<int>(sequence_info->optionalCount + k);
    if (const int result = compareField(other, sequence_info->rootCount + k, number)) {
      return result;
    }
  }
  return 0;
}

AbstractData* SEQUENCE::do_clone() const {
  SEQUENCE* copy = CreateSameType(*this);
  *copy = *this;
  return copy;
}

bool SEQUENCE::do_accept(Visitor& visitor) {
  return visitor.visit(*this);
}
bool SEQUENCE::do_accept(ConstVisitor& visitor) const {
  return visitor.visit(*this);
}

}  // namespace ASN1
