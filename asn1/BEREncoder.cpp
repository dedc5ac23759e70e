#include "asn1/BEREncoder.h"

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

#include <cstddef>
#include <string>

namespace ASN1 {
namespace {

bool IsPrimitive(const AbstractData& value) {
  PrimitiveChecker checker;
  return value.accept(checker);
}

// A listed tag of 0 leaves a field or alternative under its own type's tag.
uint32_t OwnTagIfUntagged(uint32_t tag) {
  return tag == 0 ? kOwnTag : tag;
}

uint32_t FieldTagOrOwn(const SEQUENCE& value, int index) {
  return OwnTagIfUntagged(FieldTag(*value.info(), static_cast<uint32_t>(index)));
}

// The selected alternative; null when there is none to write.
const AbstractData* Selection(const CHOICE& value) {
  const int id = value.currentSelection();
  return id >= 0 && static_cast<uint32_t>(id) < value.info()->totalCount ? value.getSelection() : nullptr;
}

uint32_t SelectionTagOrOwn(const CHOICE& value) {
  return OwnTagIfUntagged(SelectionTag(*value.info(), static_cast<uint32_t>(value.currentSelection())));
}

// X.690 8.1.2.4: octets of a tag number above 30 after the leading one, 7 bits each.
unsigned HighTagNumberOctets(uint32_t number) {
  unsigned octets = 1;
  while ((number >> (7 * octets)) != 0) {
    ++octets;
  }
  return octets;
}

unsigned IdentifierOctets(uint32_t tag) {
  const uint32_t number = tag & kMaxTagNumber;
  return number <= 30 ? 1 : 1 + HighTagNumberOctets(number);
}

// X.690 8.1.3.5: the long form gives the count of the length octets that follow.
unsigned LongLengthOctets(uint32_t length) {
  unsigned octets = 1;
  while (octets < 4 && (length >> (8 * octets)) != 0) {
    ++octets;
  }
  return octets;
}

unsigned LengthOctets(uint32_t length) {
  return length < 0x80 ? 1 : 1 + LongLengthOctets(length);
}

}  // namespace

unsigned getDataLength(const AbstractData& value) {
  DataLengthCounter counter;
  value.accept(counter);
  return counter.length;
}

unsigned getObjectLength(const AbstractData& value, uint32_t tag) {
  if (tag == kOwnTag) {
    tag = value.typeInfo()->tag;
  }
  const unsigned length = getDataLength(value);
  return tag == 0 ? length : IdentifierOctets(tag) + LengthOctets(length) + length;
}

int getIntegerDataLength(int32_t value) {
  int octets = 4;
  // Drop a top octet while it and the top bit of the next one are pure sign.
  while (octets > 1) {
    const int32_t top = value >> (8 * octets - 9);
    if (top != 0 && top != -1) {
      break;
    }
    --octets;
  }
  return octets;
}

uint32_t BEREncoder::takeTag(const AbstractData& value) {
  const uint32_t tag = pendingTag_ == kOwnTag ? value.typeInfo()->tag : pendingTag_;
  pendingTag_ = kOwnTag;
  return tag;
}

// X.690 8.1.2 and 8.1.3: identifier and definite length octets, gathered first and appended at once.
void BEREncoder::writeHeader(uint32_t tag, bool constructed, uint32_t length) {
  char header[1 + 3 + 1 + 4];  // a tag number of at most 16 bits takes 3 octets, a length at most 4
  size_t size = 0;
  const auto identifier = static_cast<uint8_t>(((tag >> 16) & 0xC0) | (constructed ? 0x20 : 0x00));
  const uint32_t number = tag & kMaxTagNumber;
  if (number <= 30) {
    header[size++] = static_cast<char>(identifier | number);
  } else {
    header[size++] = static_cast<char>(identifier | 0x1F);
    for (unsigned i = HighTagNumberOctets(number) - 1; i > 0; --i) {
      header[size++] = static_cast<char>(0x80 | ((number >> (7 * i)) & 0x7F));
    }
    header[size++] = static_cast<char>(number & 0x7F);
  }
  if (length < 0x80) {
    header[size++] = static_cast<char>(length);
  } else {
    const unsigned octets = LongLengthOctets(length);
    header[size++] = static_cast<char>(0x80 | octets);
    for (unsigned i = octets; i > 0; --i) {
      header[size++] = static_cast<char>(length >> (8 * (i - 1)));
    }
  }
  buffer_.insert(buffer_.end(), header, header + size);
}

void BEREncoder::encodeHeader(const AbstractData& value) {
  const uint32_t tag = takeTag(value);
  if (tag != 0) {
    writeHeader(tag, !IsPrimitive(value), getDataLength(value));
  }
}

bool BEREncoder::encodeOctets(const AbstractData& value, const char* octets, size_t count) {
  writeHeader(takeTag(value), false, static_cast<uint32_t>(count));
  buffer_.insert(buffer_.end(), octets, octets + count);
  return true;
}

// X.690 8.3: two's complement, big-endian, shortest form.
bool BEREncoder::encodeSigned(const AbstractData& value, int32_t number) {
  char octets[4];
  const int count = getIntegerDataLength(number);
  for (int i = 0; i < count; ++i) {
    octets[i] = static_cast<char>(static_cast<uint32_t>(number) >> (8 * (count - 1 - i)));
  }
  return encodeOctets(value, octets, static_cast<size_t>(count));
}

bool BEREncoder::do_visit(const Null& value) {
  return encodeOctets(value, nullptr, 0);
}

bool BEREncoder::do_visit(const BOOLEAN& value) {
  const char octet = value.getValue() ? '\xFF' : '\x00';
  return encodeOctets(value, &octet, 1);
}

bool BEREncoder::do_visit(const INTEGER& value) {
  return encodeSigned(value, value.getValue());
}

bool BEREncoder::do_visit(const ENUMERATED& value) {
  return encodeSigned(value, value.getValue());
}

bool BEREncoder::do_visit(const OBJECT_IDENTIFIER& value) {
  std::vector<char> contents;
  value.encodeCommon(contents);
  return encodeOctets(value, contents.data(), contents.size());
}

// X.690 8.6: the count of unused bits in the last octet, then the octets.
bool BEREncoder::do_visit(const BIT_STRING& value) {
  const size_t octets = (value.size() + 7) / 8;
  writeHeader(takeTag(value), false, static_cast<uint32_t>(1 + octets));
  buffer_.push_back(static_cast<char>((8 - value.size() % 8) % 8));
  buffer_.insert(buffer_.end(), value.bytes().begin(), value.bytes().begin() + static_cast<std::ptrdiff_t>(octets));
  if (value.size() % 8 != 0) {
    buffer_.back() = static_cast<char>(buffer_.back() & (0xFF00 >> (value.size() % 8)));  // X.690 11.2.1
  }
  return true;
}

bool BEREncoder::do_visit(const OCTET_STRING& value) {
  return encodeOctets(value, value.data(), value.size());
}

bool BEREncoder::do_visit(const AbstractString& value) {
  return encodeOctets(value, value.data(), value.size());
}

bool BEREncoder::do_visit(const BMPString& value) {
  writeHeader(takeTag(value), false, static_cast<uint32_t>(value.size() * 2));
  for (const wchar_t character : value) {
    buffer_.push_back(static_cast<char>(static_cast<uint32_t>(character) >> 8));
    buffer_.push_back(static_cast<char>(character));
  }
  return true;
}

bool BEREncoder::do_visit(const GeneralizedTime& value) {
  const std::string text = value.get();
  return encodeOctets(value, text.data(), text.size());
}

// The alternative under its own tag, wrapped in the CHOICE's tag when it has one (a field tag, or a tag of the type).
bool BEREncoder::do_visit(const CHOICE& value) {
  const AbstractData* selection = Selection(value);
  if (selection == nullptr) {
    return false;
  }
  encodeHeader(value);
  pendingTag_ = SelectionTagOrOwn(value);
  return selection->accept(*this);
}

// The contained value's whole encoding, or the undecoded octets (which hold one), wrapped in the open type's tag.
bool BEREncoder::do_visit(const OpenData& value) {
  if (!value.has_data() && !value.has_buf()) {
    return false;
  }
  encodeHeader(value);
  if (value.has_data()) {
    return value.get_data()->accept(*this);
  }
  buffer_.insert(buffer_.end(), value.get_buf()->begin(), value.get_buf()->end());
  return true;
}

bool BEREncoder::do_visit(const SEQUENCE_OF_Base& value) {
  encodeHeader(value);
  for (size_t i = 0; i < value.size(); ++i) {
    if (!value.at(i).accept(*this)) {
      return false;
    }
  }
  return true;
}

bool BEREncoder::preVisitExtensionRoots(const SEQUENCE& value) {
  encodeHeader(value);
  return true;
}

// Known extensions are written like root fields: BER needs no extension bitmap.
bool BEREncoder::encodeField(const SEQUENCE& value, int index) {
  const AbstractData* field = value.getField(static_cast<uint32_t>(index));
  if (field == nullptr) {
    return false;
  }
  pendingTag_ = FieldTagOrOwn(value, index);
  return field->accept(*this);
}

bool BEREncoder::visitExtensionRoot(const SEQUENCE& value, int index) {
  return encodeField(value, index);
}

bool BEREncoder::visitKnownExtension(const SEQUENCE& value, int index) {
  return encodeField(value, index);
}

bool DataLengthCounter::do_visit(const Null&) {
  return true;
}

bool DataLengthCounter::do_visit(const BOOLEAN&) {
  length += 1;
  return true;
}

bool DataLengthCounter::do_visit(const INTEGER& value) {
  length += static_cast<unsigned>(getIntegerDataLength(value.getValue()));
  return true;
}

bool DataLengthCounter::do_visit(const ENUMERATED& value) {
  length += static_cast<unsigned>(getIntegerDataLength(value.getValue()));
  return true;
}

bool DataLengthCounter::do_visit(const OBJECT_IDENTIFIER& value) {
  std::vector<char> contents;
  value.encodeCommon(contents);
  length += static_cast<unsigned>(contents.size());
  return true;
}

bool DataLengthCounter::do_visit(const BIT_STRING& value) {
  length += static_cast<unsigned>(1 + (value.size() + 7) / 8);
  return true;
}

bool DataLengthCounter::do_visit(const OCTET_STRING& value) {
  length += static_cast<unsigned>(value.size());
  return true;
}

bool DataLengthCounter::do_visit(const AbstractString& value) {
  length += static_cast<unsigned>(value.size());
  return true;
}

bool DataLengthCounter::do_visit(const BMPString& value) {
  length += static_cast<unsigned>(2 * value.size());
  return true;
}

bool DataLengthCounter::do_visit(const GeneralizedTime& value) {
  length += static_cast<unsigned>(value.get().size());
  return true;
}

bool DataLengthCounter::do_visit(const CHOICE& value) {
  const AbstractData* selection = Selection(value);
  if (selection != nullptr) {
    length += getObjectLength(*selection, SelectionTagOrOwn(value));
  }
  return true;
}

bool DataLengthCounter::do_visit(const OpenData& value) {
  if (value.has_data()) {
    length += getObjectLength(*value.get_data(), kOwnTag);
  } else if (value.has_buf()) {
    length += static_cast<unsigned>(value.get_buf()->size());
  }
  return true;
}

bool DataLengthCounter::do_visit(const SEQUENCE_OF_Base& value) {
  for (size_t i = 0; i < value.size(); ++i) {
    length += getObjectLength(value.at(i), kOwnTag);
  }
  return true;
}

bool DataLengthCounter::preVisitExtensionRoots(const SEQUENCE&) {
  return true;
}

bool DataLengthCounter::visitExtensionRoot(const SEQUENCE& value, int index) {
  const AbstractData* field = value.getField(static_cast<uint32_t>(index));
  if (field != nullptr) {
    length += getObjectLength(*field, FieldTagOrOwn(value, index));
  }
  return true;
}

bool DataLengthCounter::visitKnownExtension(const SEQUENCE& value, int index) {
  return visitExtensionRoot(value, index);
}

bool DataLengthCounter::visit(const SEQUENCE& value) {
  return WalkSequence(*this, value);
}

bool PrimitiveChecker::do_visit(const CHOICE& value) {
  return value.getSelection() == nullptr || value.getSelection()->accept(*this);
}

bool PrimitiveChecker::do_visit(const OpenData& value) {
  if (value.has_data()) {
    return value.get_data()->accept(*this);
  }
  // Undecoded octets hold a whole encoding, whose identifier says.
  return value.has_buf() && !value.get_buf()->empty() && (value.get_buf()->front() & 0x20) == 0;
}

bool PrimitiveChecker::do_visit(const SEQUENCE_OF_Base&) {
  return false;
}

bool PrimitiveChecker::preVisitExtensionRoots(const SEQUENCE&) {
  return false;
}

}  // namespace ASN1
