#include "asn1/BERDecoder.h"

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

#include <memory>
#include <string>

namespace ASN1 {
namespace {

constexpr uint32_t kTagClassMask = 0xC0u << 16;

}  // namespace

BERDecoder::BERDecoder(const char* begin, const char* end, CoderEnv* env)
    : env_(env), data_(reinterpret_cast<const uint8_t*>(begin)), end_(static_cast<size_t>(end - begin)) {}

// X.690 8.1.2 and 8.1.3.
bool BERDecoder::decodeHeader(uint32_t& tag, bool& primitive, uint32_t& length) {
  if (pos_ >= end_) {
    return false;
  }
  const uint8_t identifier = data_[pos_++];
  primitive = (identifier & 0x20) == 0;
  uint32_t number = identifier & 0x1F;
  if (number == 0x1F) {
    number = 0;
    uint8_t octet = 0;
    do {
      if (pos_ >= end_) {
        return false;
      }
      octet = data_[pos_++];
      number = number << 7 | (octet & 0x7F);
      if (number > kMaxTagNumber) {
        return false;
      }
    } while ((octet & 0x80) != 0);
  }
  tag = uint32_t{identifier & 0xC0u} << 16 | number;
  if (pos_ >= end_) {
    return false;
  }
  const uint8_t first = data_[pos_++];
  length = first;
  if (first > 0x80) {
    const size_t octets = first & 0x7F;
    if (octets > 4 || octets > end_ - pos_) {
      return false;
    }
    length = 0;
    for (size_t i = 0; i < octets; ++i) {
      length = length << 8 | data_[pos_++];
    }
  } else if (first == 0x80) {
    length = 0;  // the indefinite form, which the peers' coders never write, reads as empty
  }
  return length <= end_ - pos_;
}

bool BERDecoder::peekHeader(uint32_t& tag, size_t& next) {
  const size_t start = pos_;
  bool primitive = false;
  uint32_t length = 0;
  const bool read = decodeHeader(tag, primitive, length);
  next = pos_ + length;
  pos_ = start;
  return read;
}

bool BERDecoder::decodeValueHeader(const AbstractData& value, bool primitive_only, uint32_t& length) {
  const uint32_t expected = pendingTag_ == kOwnTag ? value.typeInfo()->tag : pendingTag_;
  pendingTag_ = kOwnTag;
  const size_t start = pos_;
  uint32_t tag = 0;
  bool primitive = false;
  if (!decodeHeader(tag, primitive, length) || tag != expected || (primitive_only && !primitive)) {
    pos_ = start;
    return false;
  }
  return true;
}

bool BERDecoder::decodeContents(const AbstractData& value, uint32_t limit, const uint8_t*& contents, uint32_t& length) {
  if (!decodeValueHeader(value, true, length) || length > limit) {
    return false;
  }
  contents = data_ + pos_;
  pos_ += length;
  return true;
}

// X.690 8.3: two's complement. A range of unsigned words (a lower bound of 0 or more) also takes the X.690 form of
// values above 2^31 - 1, a zero octet and four more.
bool BERDecoder::decodeSigned(const AbstractData& value, bool as_unsigned, uint32_t& word) {
  const uint8_t* contents = nullptr;
  uint32_t length = 0;
  if (!decodeContents(value, as_unsigned ? 5 : 4, contents, length) || length == 0 ||
      (length == 5 && contents[0] != 0)) {
    return false;
  }
  word = static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(contents[0])));
  for (uint32_t i = 1; i < length; ++i) {
    word = word << 8 | contents[i];
  }
  return true;
}

bool BERDecoder::do_visit(Null& value) {
  const uint8_t* contents = nullptr;
  uint32_t length = 0;
  return decodeContents(value, UINT32_MAX, contents, length);
}

bool BERDecoder::do_visit(BOOLEAN& value) {
  const uint8_t* contents = nullptr;
  uint32_t length = 0;
  if (!decodeContents(value, UINT32_MAX, contents, length)) {
    return false;
  }
  if (length > 0) {
    value.setValue(contents[length - 1] != 0);
  }
  return true;
}

bool BERDecoder::do_visit(INTEGER& value) {
  const ConstrainedInfo& info = *value.info();
  const bool as_unsigned = info.type != ConstraintType::Unconstrained && info.lower >= 0;
  uint32_t word = 0;
  if (!decodeSigned(value, as_unsigned, word)) {
    return false;
  }
  value.setValue(static_cast<int>(word));
  return true;
}

bool BERDecoder::do_visit(ENUMERATED& value) {
  uint32_t word = 0;
  if (!decodeSigned(value, false, word)) {
    return false;
  }
  value.setValue(static_cast<int>(word));
  return true;
}

bool BERDecoder::do_visit(OBJECT_IDENTIFIER& value) {
  const uint8_t* contents = nullptr;
  uint32_t length = 0;
  return decodeContents(value, UINT32_MAX, contents, length) &&
         value.decodeCommon(reinterpret_cast<const char*>(contents), length);
}

template <class Octets>
bool BERDecoder::decodeOctets(Octets& value) {
  const uint8_t* contents = nullptr;
  uint32_t length = 0;
  if (!decodeContents(value, UINT32_MAX, contents, length)) {
    return false;
  }
  value.assign(contents, contents + length);
  return true;
}

bool BERDecoder::do_visit(OCTET_STRING& value) {
  return decodeOctets(value);
}

// X.690 8.6: the first octet counts the unused bits of the last one; an empty string has only that octet, 0.
bool BERDecoder::do_visit(BIT_STRING& value) {
  const uint8_t* contents = nullptr;
  uint32_t length = 0;
  if (!decodeContents(value, UINT32_MAX / 8, contents, length) || length == 0 || contents[0] > 7 ||
      (length == 1 && contents[0] != 0)) {
    return false;
  }
  const uint32_t bits = (length - 1) * 8 - contents[0];
  value.resize(bits);
  std::copy(contents + 1, contents + length, value.bytes().begin());
  value.resize(bits);  // clears the unused bits
  return true;
}

bool BERDecoder::do_visit(AbstractString& value) {
  return decodeOctets(value);
}

bool BERDecoder::do_visit(BMPString& value) {
  const uint8_t* contents = nullptr;
  uint32_t length = 0;
  if (!decodeContents(value, UINT32_MAX, contents, length) || length % 2 != 0) {
    return false;
  }
  value.resize(length / 2);
  for (uint32_t i = 0; i < length / 2; ++i) {
    value[i] = static_cast<wchar_t>(contents[2 * i] << 8 | contents[2 * i + 1]);
  }
  return true;
}

bool BERDecoder::do_visit(GeneralizedTime& value) {
  const uint8_t* contents = nullptr;
  uint32_t length = 0;
  if (!decodeContents(value, UINT32_MAX, contents, length)) {
    return false;
  }
  const std::string text(contents, contents + length);
  return value.set(text.c_str());
}

template <class Read>
bool BERDecoder::decodeWrapped(uint32_t tag, Read read) {
  const size_t start = pos_;
  uint32_t found = 0;
  bool primitive = false;
  uint32_t length = 0;
  if (!decodeHeader(found, primitive, length) || found != tag) {
    pos_ = start;
    return false;
  }
  const size_t outer_end = end_;
  end_ = pos_ + length;
  const bool read_ok = read();
  pos_ = end_;
  end_ = outer_end;
  return read_ok;
}

// The alternative is found by its tag: without a tag table the context tag number is its index; with one, the
// alternative that lists the tag, or else inside a first alternative that is an untagged CHOICE.
bool BERDecoder::decodeAlternative(CHOICE& value) {
  const ChoiceInfo& info = *value.info();
  uint32_t tag = 0;
  size_t next = 0;
  if (!peekHeader(tag, next)) {
    return false;
  }
  uint32_t index = info.totalCount;
  if (info.selectionTags == nullptr) {
    if ((tag & kTagClassMask) == kContextSpecific) {
      index = tag & kMaxTagNumber;
    }
  } else {
    for (uint32_t i = 0; i < info.totalCount && index == info.totalCount; ++i) {
      if (info.selectionTags[i] == tag) {
        index = i;
      }
    }
    if (index == info.totalCount && info.totalCount > 0 && info.selectionTags[0] == 0) {
      index = 0;
    }
  }
  if (index >= info.totalCount) {
    return false;
  }
  const int id = static_cast<int>(index);
  if ((id != value.currentSelection() || value.getSelection() == nullptr) && !value.select(id)) {
    return false;
  }
  const uint32_t alternative_tag = SelectionTag(info, index);
  pendingTag_ = alternative_tag == 0 ? kOwnTag : alternative_tag;
  if (!value.getSelection()->accept(*this)) {
    return false;
  }
  if (alternative_tag != 0) {
    pos_ = next;  // octets of the alternative that were not read are skipped
  }
  return true;
}

bool BERDecoder::do_visit(CHOICE& value) {
  const uint32_t tag = pendingTag_ == kOwnTag ? value.typeInfo()->tag : pendingTag_;
  pendingTag_ = kOwnTag;
  if (tag == 0) {
    return decodeAlternative(value);
  }
  return decodeWrapped(tag, [&] { return decodeAlternative(value); });
}

bool BERDecoder::do_visit(SEQUENCE_OF_Base& value) {
  uint32_t length = 0;
  if (!decodeValueHeader(value, false, length)) {
    return false;
  }
  const size_t outer_end = end_;
  end_ = pos_ + length;
  value.clear();
  bool read_ok = true;
  while (read_ok && pos_ < end_) {
    const size_t start = pos_;
    value.resize(value.size() + 1);
    read_ok = value.at(value.size() - 1).accept(*this) && pos_ > start;
  }
  pos_ = end_;
  end_ = outer_end;
  return read_ok;
}

// The octets of the contained value's whole encoding are kept: those inside the open type's tag, or, for an open
// type without a tag, the next header and its contents.
bool BERDecoder::do_visit(OpenData& value) {
  const uint32_t tag = pendingTag_ == kOwnTag ? value.typeInfo()->tag : pendingTag_;
  pendingTag_ = kOwnTag;
  const size_t start = pos_;
  uint32_t found = 0;
  bool primitive = false;
  uint32_t length = 0;
  if (!decodeHeader(found, primitive, length) || (tag != 0 && found != tag)) {
    pos_ = start;
    return false;
  }
  const size_t from = tag != 0 ? pos_ : start;
  pos_ += length;
  value.set_buf(new std::vector<char>(data_ + from, data_ + pos_));
  return true;
}

bool BERDecoder::do_revisit(OpenData& value) {
  if (!value.has_buf() || !value.has_data()) {
    return false;
  }
  const std::vector<char>& octets = *value.get_buf();
  BERDecoder contents(octets.data(), octets.data() + octets.size(), env_);
  return value.get_data()->accept(contents);
}

bool BERDecoder::do_visit(TypeConstrainedOpenData& value) {
  if (!value.has_data()) {
    return do_visit(static_cast<OpenData&>(value));
  }
  const uint32_t tag = pendingTag_ == kOwnTag ? value.typeInfo()->tag : pendingTag_;
  pendingTag_ = kOwnTag;
  AbstractData& data = *value.get_data();
  if (tag == 0) {
    return data.accept(*this);
  }
  return decodeWrapped(tag, [&] { return data.accept(*this); });
}

int BERDecoder::preVisitExtensionRoots(SEQUENCE& value) {
  uint32_t length = 0;
  if (!decodeValueHeader(value, false, length)) {
    return kFail;
  }
  sequenceEnds_.push_back(end_);
  end_ = pos_ + length;
  return kGoOn;
}

// A field is present when the next header carries its tag; an untagged field is tried and, when optional, left
// out if it does not read.
int BERDecoder::decodeField(SEQUENCE& value, int index, int optionalNumber) {
  const bool optional = optionalNumber != -1;
  const uint32_t expected = FieldTag(*value.info(), static_cast<uint32_t>(index));
  uint32_t tag = 0;
  size_t next = 0;
  if (pos_ < end_ && !peekHeader(tag, next)) {
    return kFail;
  }
  if (pos_ >= end_ || (expected != 0 && tag != expected)) {
    if (!optional) {
      // Nothing left: the field is missing. Another tag: it keeps its default, as the peers' coders expect.
      return pos_ >= end_ ? kFail : kGoOn;
    }
    value.removeOptionalField(optionalNumber);
    return kGoOn;
  }
  if (optional) {
    value.includeOptionalField(optionalNumber, index);
  }
  AbstractData* field = value.createField(static_cast<uint32_t>(index));
  const size_t start = pos_;
  const size_t depth = sequenceEnds_.size();
  const size_t outer_end = end_;
  pendingTag_ = expected == 0 ? kOwnTag : expected;
  if (field != nullptr && field->accept(*this)) {
    return kGoOn;
  }
  pos_ = start;
  end_ = outer_end;
  sequenceEnds_.resize(depth);  // SEQUENCE values inside the field that failed midway
  pendingTag_ = kOwnTag;
  if (!optional) {
    return kFail;
  }
  value.removeOptionalField(optionalNumber);
  return expected == 0 ? kGoOn : kFail;
}

int BERDecoder::visitExtensionRoot(SEQUENCE& value, int index, int optionalNumber) {
  return decodeField(value, index, optionalNumber);
}

int BERDecoder::visitKnownExtension(SEQUENCE& value, int index, int optionalNumber) {
  return decodeField(value, index, optionalNumber);
}

// Whatever the type does not know is skipped.
int BERDecoder::visitUnknownExtensions(SEQUENCE&) {
  pos_ = end_;
  end_ = sequenceEnds_.back();
  sequenceEnds_.pop_back();
  return kStop;
}

}  // namespace ASN1
