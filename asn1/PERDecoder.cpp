#include "asn1/PERDecoder.h"

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

PERDecoder::PERDecoder(const char* begin, const char* end, CoderEnv* env)
    : env_(env), data_(reinterpret_cast<const uint8_t*>(begin)), size_(static_cast<size_t>(end - begin)) {}

void PERDecoder::byteAlign() {
  if (bitPos_ != 8) {
    ++pos_;
    bitPos_ = 8;
  }
}

void PERDecoder::setPosition(const char* position) {
  const auto offset = static_cast<size_t>(position - reinterpret_cast<const char*>(data_));
  pos_ = std::min(offset, size_);
  bitPos_ = 8;
}

bool PERDecoder::decodeSingleBit(bool& bit) {
  if (pos_ >= size_) {
    return false;
  }
  --bitPos_;
  bit = ((data_[pos_] >> bitPos_) & 1) != 0;
  if (bitPos_ == 0) {
    ++pos_;
    bitPos_ = 8;
  }
  return true;
}

bool PERDecoder::decodeMultiBit(unsigned n, uint32_t& value) {
  if (n > 32 || n > getBitsLeft()) {
    return false;
  }
  if (n == 0) {
    value = 0;
    return true;
  }
  if (n == 8 && bitPos_ == 8) {
    value = data_[pos_++];
    return true;
  }
  // The bytes that hold the n bits, at most five, gathered high byte first.
  const unsigned used = 8 - bitPos_;
  const unsigned octets = (used + n + 7) / 8;
  uint64_t window = 0;
  for (unsigned i = 0; i < octets; ++i) {
    window = window << 8 | data_[pos_ + i];
  }
  const unsigned tail = octets * 8 - used - n;
  value = static_cast<uint32_t>((window >> tail) & ((uint64_t{1} << n) - 1));
  pos_ += octets - (tail != 0 ? 1 : 0);
  bitPos_ = tail != 0 ? tail : 8;
  return true;
}

bool PERDecoder::decodeBlock(char* destination, size_t n) {
  if (n == 0) {
    return true;
  }
  byteAlign();
  if (n > size_ - pos_) {
    return false;
  }
  std::memcpy(destination, data_ + pos_, n);
  pos_ += n;
  return true;
}

bool PERDecoder::decodeBitMap(uint8_t* bytes, uint32_t n) {
  for (uint32_t i = 0; i < n / 8; ++i) {
    uint32_t byte = 0;
    if (!decodeMultiBit(8, byte)) {
      return false;
    }
    bytes[i] = static_cast<uint8_t>(byte);
  }
  const unsigned rest = n % 8;
  if (rest == 0) {
    return true;
  }
  uint32_t bits = 0;
  if (!decodeMultiBit(rest, bits)) {
    return false;
  }
  bytes[n / 8] = static_cast<uint8_t>(bits << (8 - rest));
  return true;
}

// X.691 10.6: normally small non-negative whole number.
bool PERDecoder::decodeSmallUnsigned(uint32_t& value) {
  bool large = false;
  if (!decodeSingleBit(large)) {
    return false;
  }
  if (!large) {
    return decodeMultiBit(6, value);
  }
  uint32_t octets = 0;
  if (!decodeLength(0, kUnconstrainedBound, octets) || octets > 4) {
    return false;
  }
  byteAlign();
  return decodeMultiBit(octets * 8, value);
}

// X.691 10.9: length determinant; 16384 and above would need fragments, which this link never uses.
bool PERDecoder::decodeLength(uint32_t lb, uint32_t ub, uint32_t& n) {
  if (ub <= 65535) {
    return decodeUnsigned(lb, ub, n);
  }
  byteAlign();
  uint32_t first = 0;
  if (!decodeMultiBit(8, first)) {
    return false;
  }
  if ((first & 0x80) == 0) {  // [0|n:7]
    n = first;
    return true;
  }
  if ((first & 0x40) != 0) {  // [11|...]: a fragment
    return false;
  }
  uint32_t low = 0;  // [10|n:14]
  if (!decodeMultiBit(8, low)) {
    return false;
  }
  n = (first & 0x3F) << 8 | low;
  return true;
}

// X.691 10.5: constrained whole number. The range is computed in 64 bits: a full 32-bit range has 2^32 values.
// The field may carry more than the range (16 bits for 0..1023); such a number is handed on as it stands, since the
// readers of a message answer it with an error of their own (a slot above 1023 gets invalidSlot).
bool PERDecoder::decodeUnsigned(uint32_t lb, uint32_t ub, uint32_t& value) {
  if (lb == ub) {
    value = lb;
    return true;
  }
  const uint64_t range = uint64_t{ub - lb} + 1;
  const unsigned bits = CountBits(range);
  uint32_t offset = 0;
  if (range <= 255) {
    if (!decodeMultiBit(bits, offset)) {
      return false;
    }
  } else if (range <= 65536) {
    byteAlign();
    if (!decodeMultiBit(range == 256 ? 8 : 16, offset)) {
      return false;
    }
  } else {
    uint32_t octets = 0;
    if (!decodeLength(1, (bits + 7) / 8, octets)) {
      return false;
    }
    byteAlign();
    if (!decodeMultiBit(octets * 8, offset)) {
      return false;
    }
  }
  value = offset + lb;
  return true;
}

bool PERDecoder::decodeConstrainedLength(const ConstrainedInfo& info, uint32_t& n) {
  bool extended = false;
  if (info.type == ConstraintType::ExtendableConstraint && !decodeSingleBit(extended)) {
    return false;
  }
  if (extended || info.type == ConstraintType::Unconstrained) {
    return decodeLength(0, kUnconstrainedBound, n);
  }
  return decodeLength(static_cast<uint32_t>(info.lower), info.upper, n);
}

bool PERDecoder::decodeOpenType(uint32_t length, AbstractData& value) {
  byteAlign();
  return length <= size_ - pos_ && decodeUpTo(position() + length, value);
}

bool PERDecoder::decodeUpTo(const char* end, AbstractData& value) {
  PERDecoder contents(position(), end, env_);
  setPosition(end);
  return value.accept(contents);
}

bool PERDecoder::skipOctets(uint32_t length) {
  byteAlign();
  if (length > size_ - pos_) {
    return false;
  }
  pos_ += length;
  return true;
}

bool PERDecoder::do_visit(Null&) {
  return true;
}

bool PERDecoder::do_visit(BOOLEAN& value) {
  bool bit = false;
  if (!decodeSingleBit(bit)) {
    return false;
  }
  value.setValue(bit);
  return true;
}

bool PERDecoder::do_visit(INTEGER& value) {
  const ConstrainedInfo& info = *value.info();
  bool extended = false;
  if (info.type == ConstraintType::ExtendableConstraint && !decodeSingleBit(extended)) {
    return false;
  }
  const bool ranged =
      info.type == ConstraintType::FixedConstraint || (info.type == ConstraintType::ExtendableConstraint && !extended);
  if (ranged) {
    uint32_t number = 0;
    if (!decodeUnsigned(static_cast<uint32_t>(info.lower), info.upper, number)) {
      return false;
    }
    value.setValue(static_cast<int>(number));
    return true;
  }
  // Two's complement in 1 to 4 octets, as the encoder writes every value in this form.
  uint32_t octets = 0;
  uint32_t bits = 0;
  if (!decodeLength(0, kUnconstrainedBound, octets) || octets > 4 || !decodeMultiBit(octets * 8, bits)) {
    return false;
  }
  if (octets > 0 && octets < 4 && (bits >> (octets * 8 - 1)) != 0) {
    bits |= ~uint32_t{0} << (octets * 8);
  }
  value.setValue(static_cast<int>(bits));
  return true;
}

// Coded by value: the field is sized for 0..maxValue, and an extension value n carries n + 1 first. An extension
// header whose bound is 0 (or unreadable) announces no extension value: the root form follows from where it ended.
bool PERDecoder::do_visit(ENUMERATED& value) {
  const EnumeratedInfo& info = *value.info();
  bool extended = false;
  if (info.extendable && !decodeSingleBit(extended)) {
    return false;
  }
  uint32_t number = 0;
  uint32_t bound = 0;
  if (extended && decodeSmallUnsigned(bound) && bound != 0) {
    if (bound > 0x80000000u || !decodeUnsigned(0, bound - 1, number)) {
      return false;
    }
  } else if (info.maxValue < 0 || !decodeUnsigned(0, static_cast<uint32_t>(info.maxValue), number)) {
    return false;
  }
  value.setValue(static_cast<int>(number));
  return true;
}

bool PERDecoder::do_visit(OBJECT_IDENTIFIER& value) {
  uint32_t length = 0;
  if (!decodeLength(0, 255, length)) {
    return false;
  }
  std::vector<char> contents(length);
  return decodeBlock(contents.data(), length) && value.decodeCommon(contents.data(), length);
}

bool PERDecoder::do_visit(OCTET_STRING& value) {
  uint32_t n = 0;
  if (!decodeConstrainedLength(*value.info(), n) || n > MaximumStringSize || n > getBitsLeft() / 8) {
    return false;
  }
  value.resize(n);
  if (n > 2) {
    return decodeBlock(value.data(), n);
  }
  for (uint32_t i = 0; i < n; ++i) {
    uint32_t octet = 0;
    if (!decodeMultiBit(8, octet)) {
      return false;
    }
    value[i] = static_cast<char>(octet);
  }
  return true;
}

bool PERDecoder::do_visit(BIT_STRING& value) {
  uint32_t n = 0;
  if (!decodeConstrainedLength(*value.info(), n) || n > MaximumStringSize || n > getBitsLeft()) {
    return false;
  }
  value.resize(n);
  if (n > 16) {
    if (!decodeBlock(reinterpret_cast<char*>(value.bytes().data()), (n + 7) / 8)) {
      return false;
    }
    value.resize(n);  // clears the pad bits of the last octet
    return true;
  }
  return decodeBitMap(value.bytes().data(), n);
}

bool PERDecoder::do_visit(AbstractString& value) {
  const StringInfo& info = *value.info();
  uint32_t n = 0;
  if (!decodeConstrainedLength(info, n) || n > MaximumStringSize) {
    return false;
  }
  const unsigned bits = info.alignedBits;
  if (uint64_t{n} * bits > getBitsLeft()) {
    return false;
  }
  value.resize(n);
  if (!IsSmallFixedSize(info, bits)) {
    if (bits == 8) {
      return n == 0 || decodeBlock(&value[0], n);
    }
    byteAlign();
  }
  const bool by_code = info.canonicalBits <= bits && info.canonicalBits > 4;
  for (uint32_t i = 0; i < n; ++i) {
    uint32_t code = 0;
    if (!decodeMultiBit(bits, code)) {
      return false;
    }
    if (!by_code) {
      if (code >= info.charSetSize) {
        return false;
      }
      code = static_cast<uint8_t>(info.charSet[code]);
    }
    value[i] = static_cast<char>(code);
  }
  return true;
}

bool PERDecoder::do_visit(BMPString& value) {
  const BMPStringInfo& info = *value.info();
  uint32_t n = 0;
  if (!decodeConstrainedLength(info, n) || n > MaximumStringSize || uint64_t{n} * 16 > getBitsLeft()) {
    return false;
  }
  value.resize(n);
  if (!IsSmallFixedSize(info, 16)) {
    byteAlign();
  }
  for (uint32_t i = 0; i < n; ++i) {
    uint32_t code = 0;
    if (!decodeMultiBit(16, code)) {
      return false;
    }
    value[i] = static_cast<wchar_t>(info.firstChar + code);
  }
  return true;
}

bool PERDecoder::decodeChoicePreamle(CHOICE& value, const char*& memento) {
  memento = nullptr;
  const ChoiceInfo& info = *value.info();
  // Even a CHOICE whose header takes no bits needs input left, so a message cut before it never decodes.
  if (getBitsLeft() == 0) {
    return false;
  }
  bool extended = false;
  if (info.extendable && !decodeSingleBit(extended)) {
    return false;
  }
  uint64_t index = 0;
  if (extended) {
    // [1|index - rootCount as a small number] [length] [octets]: the octets must all be there.
    uint32_t number = 0;
    uint32_t length = 0;
    if (!decodeSmallUnsigned(number) || !decodeOpenTypeLength(length) || length > size_ - pos_) {
      return false;
    }
    index = uint64_t{number} + info.rootCount;
    memento = position() + length;
  } else if (info.rootCount > 1) {
    uint32_t number = 0;
    if (!decodeUnsigned(0, info.rootCount - 1, number)) {
      return false;
    }
    index = number;
  }
  // A root index must name a root alternative and an extension index a known extension.
  const uint64_t limit = extended ? info.totalCount : info.rootCount;
  if (index >= limit) {
    return false;
  }
  const int id = static_cast<int>(index);
  return (id == value.currentSelection() && value.getSelection() != nullptr) || value.select(id);
}

bool PERDecoder::do_visit(CHOICE& value) {
  const char* memento = nullptr;
  if (!decodeChoicePreamle(value, memento)) {
    return false;
  }
  AbstractData& selection = *value.getSelection();
  return memento != nullptr ? decodeUpTo(memento, selection) : selection.accept(*this);
}

bool PERDecoder::do_visit(SEQUENCE_OF_Base& value) {
  uint32_t n = 0;
  if (!decodeConstrainedLength(*value.info(), n) || n > MaximumArraySize) {
    return false;
  }
  value.resize(n);
  for (uint32_t i = 0; i < n; ++i) {
    if (!value.at(i).accept(*this)) {
      value.erase(i, value.size());
      return false;
    }
  }
  return true;
}

bool PERDecoder::do_visit(OpenData& value) {
  uint32_t length = 0;
  if (!decodeOpenTypeLength(length)) {
    return false;
  }
  auto octets = std::make_unique<std::vector<char>>(length);
  if (!decodeBlock(octets->data(), length)) {
    return false;
  }
  value.set_buf(octets.release());
  return true;
}

bool PERDecoder::do_revisit(OpenData& value) {
  if (!value.has_buf() || !value.has_data()) {
    return false;
  }
  const std::vector<char>& octets = *value.get_buf();
  PERDecoder contents(octets.data(), octets.data() + octets.size(), env_);
  return value.get_data()->accept(contents);
}

bool PERDecoder::do_visit(TypeConstrainedOpenData& value) {
  if (!value.has_data()) {
    return do_visit(static_cast<OpenData&>(value));
  }
  uint32_t length = 0;
  return decodeOpenTypeLength(length) && decodeOpenType(length, *value.get_data());
}

bool PERDecoder::do_visit(GeneralizedTime& value) {
  uint32_t length = 0;
  if (!decodeLength(0, kUnconstrainedBound, length) || length > getBitsLeft() / 8) {
    return false;
  }
  std::string text(length, '\0');
  return (length == 0 || decodeBlock(&text[0], length)) && value.set(text.c_str());
}

int PERDecoder::preVisitExtensionRoots(SEQUENCE& value) {
  const SequenceInfo& info = *value.info();
  bool extended = false;
  if (info.extendable && !decodeSingleBit(extended)) {
    return kFail;
  }
  SEQUENCE::BitMap& optional = value.optionalMap();
  optional.resize(info.optionalCount);
  if (!decodeBitMap(optional.bits.data(), info.optionalCount)) {
    return kFail;
  }
  if (!extended) {
    value.extensionMap().resize(0);
    return kRootsOnly;
  }
  return kGoOn;
}

int PERDecoder::visitExtensionRoot(SEQUENCE& value, int index, int optionalNumber) {
  if (optionalNumber != -1 && !value.hasOptionalField(optionalNumber)) {
    return kGoOn;
  }
  AbstractData* field = value.createField(static_cast<uint32_t>(index));
  return field != nullptr && field->accept(*this) ? kGoOn : kFail;
}

int PERDecoder::preVisitExtensions(SEQUENCE& value) {
  uint32_t number = 0;
  if (!decodeSmallUnsigned(number)) {
    return kFail;
  }
  const uint64_t size = uint64_t{number} + 1;
  if (size > MaximumArraySize) {
    return kFail;
  }
  SEQUENCE::BitMap& extensions = value.extensionMap();
  extensions.resize(static_cast<uint32_t>(size));
  return decodeBitMap(extensions.bits.data(), extensions.totalBits) ? kGoOn : kFail;
}

int PERDecoder::visitKnownExtension(SEQUENCE& value, int index, int optionalNumber) {
  if (!value.hasOptionalField(optionalNumber)) {
    return kGoOn;
  }
  uint32_t length = 0;
  if (!decodeOpenTypeLength(length)) {
    return kFail;
  }
  AbstractData* field = value.createField(static_cast<uint32_t>(index));
  if (field == nullptr) {
    return skipOctets(length) ? kGoOn : kFail;
  }
  return decodeOpenType(length, *field) ? kGoOn : kFail;
}

int PERDecoder::visitUnknownExtensions(SEQUENCE& value) {
  const SEQUENCE::BitMap& extensions = value.extensionMap();
  for (uint32_t bit = value.info()->knownExtensionCount; bit < extensions.totalBits; ++bit) {
    uint32_t length = 0;
    if (extensions[bit] && (!decodeOpenTypeLength(length) || !skipOctets(length))) {
      return kFail;
    }
  }
  return kStop;
}

bool PERDecoder::visit(SEQUENCE& value) {
  return WalkSequence(*this, value);
}

}  // namespace ASN1
