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

#include <algorithm>
#include <memory>
#include <string>

namespace ASN1 {

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

// A header read under a tag matched already uses that up whatever tag it carries, so that the allowance never
// passes on to a later value.
bool BERDecoder::decodeHeader(const AbstractData& value, uint32_t& length) {
  const bool any_tag = dontCheckTag_ > 0;
  if (any_tag) {
    --dontCheckTag_;
  }
  const size_t start = pos_;
  uint32_t tag = 0;
  bool primitive = false;
  if (!decodeHeader(tag, primitive, length) || (!any_tag && tag != value.typeInfo()->tag)) {
    pos_ = start;
    return false;
  }
  return true;
}

bool BERDecoder::isWrapped(const AbstractData& value) const {
  return dontCheckTag_ > 0 || value.typeInfo()->tag != 0;
}

uint32_t BERDecoder::decodeBlock(char* to, uint32_t count) {
  const auto copied = static_cast<uint32_t>(std::min<size_t>(count, end_ - pos_));
  std::copy_n(data_ + pos_, copied, to);
  pos_ += copied;
  return copied;
}

bool BERDecoder::decodePrimitiveHeader(const AbstractData& value, uint32_t limit, uint32_t& length) {
  const size_t start = pos_;
  if (!decodeHeader(value, length)) {
    return false;
  }
  if ((data_[start] & 0x20) != 0 || length > limit) {
    pos_ = start;
    return false;
  }
  return true;
}

bool BERDecoder::decodeContents(const AbstractData& value, uint32_t limit, const uint8_t*& contents, uint32_t& length) {
  if (!decodePrimitiveHeader(value, limit, length)) {
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
  uint32_t length = 0;
  if (!decodePrimitiveHeader(value, UINT32_MAX, length)) {
    return false;
  }
  value.resize(length);
  return decodeBlock(value.data(), length) == length;
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

// The alternative's header sits inside the CHOICE's own tag, when it has one; a first alternative that is an untagged
// CHOICE is looked into by CHOICE::setID.
bool BERDecoder::decodeChoicePreamle(CHOICE& value, const char*& endOfAlternative) {
  const size_t start = pos_;
  const bool wrapped = isWrapped(value);
  size_t end = end_;
  if (wrapped) {
    uint32_t length = 0;
    if (!decodeHeader(value, length)) {
      return false;
    }
    end = pos_ + length;
  }
  uint32_t tag = 0;
  size_t next = 0;
  if (!peekHeader(tag, next) || next > end || !value.setID(tag & kMaxTagNumber, tag >> 16)) {
    pos_ = start;
    return false;
  }
  // An explicit tag holds one alternative; octets after it inside the tag are skipped with it.
  endOfAlternative = reinterpret_cast<const char*>(data_ + (wrapped ? end : next));
  dontCheckTag_ = SelectionTag(*value.info(), static_cast<uint32_t>(value.currentSelection())) != 0 ? 1 : 0;
  return true;
}

bool BERDecoder::do_visit(CHOICE& value) {
  const char* end_of_alternative = nullptr;
  if (!decodeChoicePreamle(value, end_of_alternative) || !value.getSelection()->accept(*this)) {
    return false;
  }
  // Octets of the alternative that were not read are skipped.
  pos_ = static_cast<size_t>(reinterpret_cast<const uint8_t*>(end_of_alternative) - data_);
  return true;
}

bool BERDecoder::do_visit(SEQUENCE_OF_Base& value) {
  uint32_t length = 0;
  if (!decodeHeader(value, length)) {
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
  const size_t start = pos_;
  uint32_t length = 0;
  if (isWrapped(value)) {
    if (!decodeHeader(value, length)) {
      return false;
    }
  } else {
    uint32_t tag = 0;
    bool primitive = false;
    if (!decodeHeader(tag, primitive, length)) {
      pos_ = start;
      return false;
    }
    length += static_cast<uint32_t>(pos_ - start);
    pos_ = start;
  }
  auto octets = std::make_unique<std::vector<char>>(length);
  if (decodeBlock(octets->data(), length) != length) {
    pos_ = start;
    return false;
  }
  value.set_buf(octets.release());
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
  AbstractData& data = *value.get_data();
  if (!isWrapped(value)) {
    return data.accept(*this);
  }
  uint32_t length = 0;
  if (!decodeHeader(value, length)) {
    return false;
  }
  const size_t outer_end = end_;
  end_ = pos_ + length;
  const bool read = data.accept(*this);
  pos_ = end_;
  end_ = outer_end;
  return read;
}

int BERDecoder::preVisitExtensionRoots(SEQUENCE& value) {
  uint32_t length = 0;
  if (!decodeHeader(value, length)) {
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
  dontCheckTag_ = expected == 0 ? 0 : 1;  // the field's header carries the tag just matched, not its type's
  if (field != nullptr && field->accept(*this)) {
    return kGoOn;
  }
  pos_ = start;
  end_ = outer_end;
  sequenceEnds_.resize(depth);  // SEQUENCE values inside the field that failed midway
  dontCheckTag_ = 0;
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
