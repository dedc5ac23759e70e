#include "asn1/PEREncoder.h"

#include "asn1/BMPString.h"
#include "asn1/BitString.h"
#include "asn1/Boolean.h"
#include "asn1/CharacterString.h"
#include "asn1/Choice.h"
#include "asn1/Enumerated.h"
#include "asn1/GeneralizedTime.h"
#include "asn1/Integer.h"
#include "asn1/Null.h"
#include "asn1/ObjectIdentifier.h"
#include "asn1/OctetString.h"
#include "asn1/OpenData.h"
#include "asn1/Sequence.h"
#include "asn1/SequenceOf.h"
#include "asn1/SequenceWalk.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace ASN1 {
namespace {

constexpr size_t kReservedOutput = 256;

// The extension bits this encoder can write: only known extensions have contents to send, and a non-extendable
// type has no bitmap at all.
uint32_t WritableExtensionBits(const SEQUENCE& value) {
  if (!value.info()->extendable) {
    return 0;
  }
  return std::min(value.extensionMap().totalBits, value.info()->knownExtensionCount);
}

bool HasExtensionsToWrite(const SEQUENCE& value) {
  const uint32_t bits = WritableExtensionBits(value);
  for (uint32_t i = 0; i < bits; ++i) {
    if (value.extensionMap()[i]) {
      return true;
    }
  }
  return false;
}

}  // namespace

void PEREncoder::encodeSingleBit(bool bit) {
  encodeMultiBit(bit ? 1 : 0, 1);
}

void PEREncoder::encodeMultiBit(uint32_t value, unsigned n) {
  if (n == 0) {
    return;
  }
  uint64_t bits = value & ((uint64_t{1} << n) - 1);
  if (bitPos_ != 8) {
    // The free low bits of the last byte first.
    const unsigned take = std::min(n, bitPos_);
    const auto chunk = static_cast<uint8_t>(bits >> (n - take));
    buffer_.back() = static_cast<char>(static_cast<uint8_t>(buffer_.back()) | chunk << (bitPos_ - take));
    bitPos_ -= take;
    n -= take;
    if (bitPos_ == 0) {
      bitPos_ = 8;
    }
    if (n == 0) {
      return;
    }
    bits &= (uint64_t{1} << n) - 1;
  }
  // The rest starts a new byte: whole bytes, the last one filled from its top bit.
  const unsigned octets = (n + 7) / 8;
  const unsigned pad = octets * 8 - n;
  bits <<= pad;
  for (unsigned i = octets; i > 0; --i) {
    buffer_.push_back(static_cast<char>(static_cast<uint8_t>(bits >> (8 * (i - 1)))));
  }
  bitPos_ = pad == 0 ? 8 : pad;
}

void PEREncoder::encodeByte(uint8_t value) {
  byteAlign();
  encodeMultiBit(value, 8);
}

void PEREncoder::encodeBlock(const char* bytes, size_t n) {
  if (n == 0) {
    return;
  }
  byteAlign();
  buffer_.insert(buffer_.end(), bytes, bytes + n);
}

void PEREncoder::encodeBitMap(const uint8_t* bytes, uint32_t n) {
  for (uint32_t i = 0; i < n / 8; ++i) {
    encodeMultiBit(bytes[i], 8);
  }
  const unsigned rest = n % 8;
  if (rest != 0) {
    encodeMultiBit(static_cast<uint32_t>(bytes[n / 8] >> (8 - rest)), rest);
  }
}

// X.691 10.6: normally small non-negative whole number.
bool PEREncoder::encodeSmallUnsigned(uint32_t value) {
  if (value <= 63) {
    encodeMultiBit(value, 7);  // [0|value:6]
    return true;
  }
  encodeSingleBit(true);
  const uint32_t octets = value < 0x100 ? 1 : value < 0x10000 ? 2 : value <= 0xFFFFFF ? 3 : 4;
  if (!encodeLength(octets, 0, kUnconstrainedBound)) {
    return false;
  }
  byteAlign();
  encodeMultiBit(value, octets * 8);
  return true;
}

// X.691 10.9: length determinant; 16384 and above would need fragments, which this link never uses.
bool PEREncoder::encodeLength(uint32_t n, uint32_t lb, uint32_t ub) {
  if (n < lb || n > ub) {
    return false;
  }
  if (ub <= 65535) {
    return encodeUnsigned(n, lb, ub);
  }
  byteAlign();
  if (n <= 127) {
    encodeMultiBit(n, 8);  // [0|n:7]
    return true;
  }
  if (n <= 16383) {
    encodeMultiBit(0x8000 | n, 16);  // [10|n:14]
    return true;
  }
  return false;
}

// X.691 10.5: constrained whole number. The range is computed in 64 bits: a full 32-bit range has 2^32 values.
bool PEREncoder::encodeUnsigned(uint32_t value, uint32_t lb, uint32_t ub) {
  const uint32_t offset = value - lb;
  const uint32_t span = ub - lb;
  if (offset > span) {
    return false;
  }
  if (span == 0) {
    return true;
  }
  const uint64_t range = uint64_t{span} + 1;
  const unsigned bits = CountBits(range);
  if (range <= 255) {
    encodeMultiBit(offset, bits);
    return true;
  }
  if (range <= 65536) {
    byteAlign();
    encodeMultiBit(offset, range == 256 ? 8 : 16);
    return true;
  }
  const uint32_t octets = offset == 0 ? 1 : (CountBits(uint64_t{offset} + 1) + 7) / 8;
  if (!encodeLength(octets, 1, (bits + 7) / 8)) {
    return false;
  }
  byteAlign();
  encodeMultiBit(offset, octets * 8);
  return true;
}

bool PEREncoder::encodeConstraint(const ConstrainedInfo& info, int64_t value) {
  switch (info.type) {
    case ConstraintType::Unconstrained:
    case ConstraintType::PartiallyConstrained:
      return true;
    case ConstraintType::FixedConstraint:
      return false;
    case ConstraintType::ExtendableConstraint: {
      const bool outside = value < info.lower || value > int64_t{info.upper};
      encodeSingleBit(outside);
      return outside;
    }
  }
  return true;
}

bool PEREncoder::encodeConstrainedLength(const ConstrainedInfo& info, size_t n) {
  if (n > 0xFFFFFFFF) {
    return false;
  }
  const auto count = static_cast<uint32_t>(n);
  if (encodeConstraint(info, count)) {
    return encodeLength(count, 0, kUnconstrainedBound);
  }
  return encodeLength(count, static_cast<uint32_t>(info.lower), info.upper);
}

bool PEREncoder::encodeAnyType(const AbstractData* value) {
  std::vector<char> contents;
  contents.reserve(kReservedOutput);
  if (value != nullptr) {
    PEREncoder encoder(contents);
    if (!value->accept(encoder)) {
      return false;
    }
  }
  if (contents.empty()) {
    contents.push_back(0);
  }
  if (!encodeLength(static_cast<uint32_t>(std::min<size_t>(contents.size(), 0xFFFFFFFF)), 0, kUnconstrainedBound)) {
    return false;
  }
  encodeBlock(contents.data(), contents.size());
  return true;
}

bool PEREncoder::do_visit(const Null&) {
  return true;
}

bool PEREncoder::do_visit(const BOOLEAN& value) {
  encodeSingleBit(value.getValue());
  return true;
}

bool PEREncoder::do_visit(const INTEGER& value) {
  const ConstrainedInfo& info = *value.info();
  const int32_t number = value.getValue();
  if (!encodeConstraint(info, number)) {
    return encodeUnsigned(static_cast<uint32_t>(number), static_cast<uint32_t>(info.lower), info.upper);
  }
  // Two's complement in the fewest octets; a lower bound is not subtracted.
  const int64_t wide = number;
  const unsigned bits =
      (wide >= 0 ? CountBits(static_cast<uint64_t>(wide) + 1) : CountBits(static_cast<uint64_t>(-wide))) + 1;
  const uint32_t octets = (bits + 7) / 8;
  if (!encodeLength(octets, 0, kUnconstrainedBound)) {
    return false;
  }
  encodeMultiBit(static_cast<uint32_t>(number), octets * 8);
  return true;
}

// Coded by value, not by position: the field is sized for 0..maxValue, and an extension value n is written as the
// small number n + 1 followed by n in 0..n.
bool PEREncoder::do_visit(const ENUMERATED& value) {
  const EnumeratedInfo& info = *value.info();
  const int32_t number = value.getValue();
  if (info.extendable) {
    const bool extended = number > info.maxValue;
    encodeSingleBit(extended);
    if (extended) {
      const auto unsigned_number = static_cast<uint32_t>(number);
      return encodeSmallUnsigned(unsigned_number + 1) && encodeUnsigned(unsigned_number, 0, unsigned_number);
    }
  }
  return number >= 0 && info.maxValue >= 0 &&
         encodeUnsigned(static_cast<uint32_t>(number), 0, static_cast<uint32_t>(info.maxValue));
}

bool PEREncoder::do_visit(const OBJECT_IDENTIFIER& value) {
  std::vector<char> contents;
  value.encodeCommon(contents);
  if (contents.size() > 255 || !encodeLength(static_cast<uint32_t>(contents.size()), 0, 255)) {
    return false;
  }
  encodeBlock(contents.data(), contents.size());
  return true;
}

bool PEREncoder::do_visit(const BIT_STRING& value) {
  const uint32_t n = value.size();
  if (!encodeConstrainedLength(*value.info(), n)) {
    return false;
  }
  if (n > 16) {
    encodeBlock(reinterpret_cast<const char*>(value.bytes().data()), (n + 7) / 8);
    return true;
  }
  encodeBitMap(value.bytes().data(), n);
  return true;
}

bool PEREncoder::do_visit(const OCTET_STRING& value) {
  if (!encodeConstrainedLength(*value.info(), value.size())) {
    return false;
  }
  if (value.size() > 2) {
    encodeBlock(value.data(), value.size());
    return true;
  }
  for (char octet : value) {
    encodeMultiBit(static_cast<uint8_t>(octet), 8);
  }
  return true;
}

bool PEREncoder::do_visit(const AbstractString& value) {
  const StringInfo& info = *value.info();
  if (!encodeConstrainedLength(info, value.size())) {
    return false;
  }
  const unsigned bits = info.alignedBits;
  if (!IsSmallFixedSize(info, bits)) {
    if (bits == 8) {
      encodeBlock(value.data(), value.size());
      return true;
    }
    byteAlign();
  }
  const bool by_code = info.canonicalBits <= bits && info.canonicalBits > 4;
  for (char character : value) {
    const auto code = static_cast<uint8_t>(character);
    if (by_code) {
      encodeMultiBit(code, bits);
      continue;
    }
    const char* set_end = info.charSet + info.charSetSize;
    const char* found = std::find(info.charSet, set_end, character);
    if (found == set_end) {
      return false;
    }
    encodeMultiBit(static_cast<uint32_t>(found - info.charSet), bits);
  }
  return true;
}

bool PEREncoder::do_visit(const BMPString& value) {
  const BMPStringInfo& info = *value.info();
  if (!encodeConstrainedLength(info, value.size())) {
    return false;
  }
  if (!IsSmallFixedSize(info, 16)) {
    byteAlign();
  }
  for (wchar_t character : value) {
    const auto code = static_cast<uint32_t>(character);
    // 16 bits cannot carry a code outside the type's range.
    if (code < info.firstChar || code > info.lastChar || code - info.firstChar > 0xFFFF) {
      return false;
    }
    encodeMultiBit(code - info.firstChar, 16);
  }
  return true;
}

bool PEREncoder::do_visit(const CHOICE& value) {
  const ChoiceInfo& info = *value.info();
  const int id = value.currentSelection();
  if (id < 0 || static_cast<uint32_t>(id) >= info.totalCount || value.getSelection() == nullptr) {
    return false;
  }
  const auto index = static_cast<uint32_t>(id);
  if (info.extendable) {
    const bool extended = index >= info.rootCount;
    encodeSingleBit(extended);
    if (extended) {
      return encodeSmallUnsigned(index - info.rootCount) && encodeAnyType(value.getSelection());
    }
  }
  if (info.rootCount > 1 && !encodeUnsigned(index, 0, info.rootCount - 1)) {
    return false;
  }
  return value.getSelection()->accept(*this);
}

bool PEREncoder::do_visit(const OpenData& value) {
  return encodeAnyType(value.get_data());
}

bool PEREncoder::do_visit(const GeneralizedTime& value) {
  const std::string text = value.get();
  if (!encodeLength(static_cast<uint32_t>(text.size()), 0, kUnconstrainedBound)) {
    return false;
  }
  encodeBlock(text.data(), text.size());
  return true;
}

bool PEREncoder::do_visit(const SEQUENCE_OF_Base& value) {
  if (!encodeConstrainedLength(*value.info(), value.size())) {
    return false;
  }
  for (size_t i = 0; i < value.size(); ++i) {
    if (!value.at(i).accept(*this)) {
      return false;
    }
  }
  return true;
}

bool PEREncoder::preVisitExtensionRoots(const SEQUENCE& value) {
  if (value.info()->extendable) {
    encodeSingleBit(HasExtensionsToWrite(value));
  }
  encodeBitMap(value.optionalMap().bits.data(), value.info()->optionalCount);
  return true;
}

bool PEREncoder::visitExtensionRoot(const SEQUENCE& value, int index) {
  const AbstractData* field = value.getField(static_cast<uint32_t>(index));
  return field != nullptr && field->accept(*this);
}

// The bitmap follows only an extension bit of 1.
bool PEREncoder::preVisitExtensions(const SEQUENCE& value) {
  if (!HasExtensionsToWrite(value)) {
    return true;
  }
  const uint32_t bits = WritableExtensionBits(value);
  if (!encodeSmallUnsigned(bits - 1)) {
    return false;
  }
  encodeBitMap(value.extensionMap().bits.data(), bits);
  return true;
}

bool PEREncoder::visitKnownExtension(const SEQUENCE& value, int index) {
  if (!HasExtensionsToWrite(value)) {
    return true;
  }
  const AbstractData* field = value.getField(static_cast<uint32_t>(index));
  return field != nullptr && encodeAnyType(field);
}

bool PEREncoder::visit(const SEQUENCE& value) {
  return WalkSequence(*this, value);
}

}  // namespace ASN1
