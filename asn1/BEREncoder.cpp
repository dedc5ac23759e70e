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

#include <algorithm>
#include <string>

namespace ASN1 {
namespace {

bool IsPrimitive(const AbstractData& value) {
  PrimitiveChecker checker;
  return value.accept(checker);
}

// X.690 8.1.2 and 8.1.3: identifier and definite length octets.
std::vector<char> Header(uint32_t tag, bool constructed, size_t length) {
  std::vector<char> header;
  const auto identifier = static_cast<uint8_t>(((tag >> 16) & 0xC0) | (constructed ? 0x20 : 0x00));
  const uint32_t number = tag & kMaxTagNumber;
  if (number <= 30) {
    header.push_back(static_cast<char>(identifier | number));
  } else {
    header.push_back(static_cast<char>(identifier | 0x1F));
    int shift = 0;
    while ((number >> (shift + 7)) != 0) {
      shift += 7;
    }
    for (; shift > 0; shift -= 7) {
      header.push_back(static_cast<char>(0x80 | ((number >> shift) & 0x7F)));
    }
    header.push_back(static_cast<char>(number & 0x7F));
  }
  if (length < 0x80) {
    header.push_back(static_cast<char>(length));
    return header;
  }
  int octets = 0;
  while (octets < 8 && (length >> (8 * octets)) != 0) {
    ++octets;
  }
  header.push_back(static_cast<char>(0x80 | octets));
  for (int i = octets - 1; i >= 0; --i) {
    header.push_back(static_cast<char>(length >> (8 * i)));
  }
  return header;
}

}  // namespace

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

void BEREncoder::closeHeader(uint32_t tag, bool constructed, size_t start) {
  const std::vector<char> header = Header(tag, constructed, buffer_.size() - start);
  buffer_.insert(buffer_.begin() + static_cast<std::ptrdiff_t>(start), header.begin(), header.end());
}

bool BEREncoder::encodeOctets(const AbstractData& value, const char* octets, size_t count) {
  const uint32_t tag = takeTag(value);
  const size_t start = buffer_.size();
  buffer_.insert(buffer_.end(), octets, octets + count);
  closeHeader(tag, false, start);
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
  std::vector<char> contents(1 + octets);
  contents[0] = static_cast<char>((8 - value.size() % 8) % 8);
  std::copy_n(value.bytes().begin(), octets, contents.begin() + 1);
  if (value.size() % 8 != 0) {
    contents.back() = static_cast<char>(contents.back() & (0xFF00 >> (value.size() % 8)));  // X.690 11.2.1
  }
  return encodeOctets(value, contents.data(), contents.size());
}

bool BEREncoder::do_visit(const OCTET_STRING& value) {
  return encodeOctets(value, value.data(), value.size());
}

bool BEREncoder::do_visit(const AbstractString& value) {
  return encodeOctets(value, value.data(), value.size());
}

bool BEREncoder::do_visit(const BMPString& value) {
  std::vector<char> contents;
  contents.reserve(value.size() * 2);
  for (const wchar_t character : value) {
    contents.push_back(static_cast<char>(static_cast<uint32_t>(character) >> 8));
    contents.push_back(static_cast<char>(character));
  }
  return encodeOctets(value, contents.data(), contents.size());
}

bool BEREncoder::do_visit(const GeneralizedTime& value) {
  const std::string text = value.get();
  return encodeOctets(value, text.data(), text.size());
}

// The alternative under its own tag, wrapped in the CHOICE's tag when it has one (a field tag, or a tag of the type).
bool BEREncoder::do_visit(const CHOICE& value) {
  const uint32_t tag = takeTag(value);
  const AbstractData* selection = value.getSelection();
  const int id = value.currentSelection();
  if (id < 0 || static_cast<uint32_t>(id) >= value.info()->totalCount || selection == nullptr) {
    return false;
  }
  const size_t start = buffer_.size();
  pendingTag_ = SelectionTag(*value.info(), static_cast<uint32_t>(id));
  if (pendingTag_ == 0) {
    pendingTag_ = kOwnTag;
  }
  if (!selection->accept(*this)) {
    return false;
  }
  if (tag != 0) {
    closeHeader(tag, !IsPrimitive(*selection), start);
  }
  return true;
}

// The contained value's whole encoding, or the undecoded octets (which hold one), wrapped in the open type's tag.
bool BEREncoder::do_visit(const OpenData& value) {
  const uint32_t tag = takeTag(value);
  const size_t start = buffer_.size();
  if (value.has_data()) {
    if (!value.get_data()->accept(*this)) {
      return false;
    }
  } else if (value.has_buf()) {
    buffer_.insert(buffer_.end(), value.get_buf()->begin(), value.get_buf()->end());
  } else {
    return false;
  }
  if (tag != 0) {
    closeHeader(tag, !IsPrimitive(value), start);
  }
  return true;
}

bool BEREncoder::do_visit(const SEQUENCE_OF_Base& value) {
  const uint32_t tag = takeTag(value);
  const size_t start = buffer_.size();
  for (size_t i = 0; i < value.size(); ++i) {
    if (!value.at(i).accept(*this)) {
      return false;
    }
  }
  closeHeader(tag, true, start);
  return true;
}

bool BEREncoder::preVisitExtensionRoots(const SEQUENCE& value) {
  sequences_.push_back({takeTag(value), buffer_.size()});
  return true;
}

// Known extensions are written like root fields: BER needs no extension bitmap.
bool BEREncoder::encodeField(const SEQUENCE& value, int index) {
  const AbstractData* field = value.getField(static_cast<uint32_t>(index));
  if (field == nullptr) {
    return false;
  }
  pendingTag_ = FieldTag(*value.info(), static_cast<uint32_t>(index));
  if (pendingTag_ == 0) {
    pendingTag_ = kOwnTag;
  }
  return field->accept(*this);
}

bool BEREncoder::visitExtensionRoot(const SEQUENCE& value, int index) {
  return encodeField(value, index);
}

bool BEREncoder::visitKnownExtension(const SEQUENCE& value, int index) {
  return encodeField(value, index);
}

bool BEREncoder::afterVisitSequence(const SEQUENCE&) {
  const Open open = sequences_.back();
  sequences_.pop_back();
  closeHeader(open.tag, true, open.start);
  return true;
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
