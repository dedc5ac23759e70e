#include "asn1/AVNEncoder.h"

#include "asn1/BMPString.h"
#include "asn1/BitString.h"
#include "asn1/Boolean.h"
#include "asn1/CharacterString.h"
#include "asn1/Choice.h"
#include "asn1/Enumerated.h"
#include "asn1/GeneralizedTime.h"
#include "asn1/IOWrapper.h"
#include "asn1/Integer.h"
#include "asn1/Null.h"
#include "asn1/ObjectIdentifier.h"
#include "asn1/OctetString.h"
#include "asn1/OpenData.h"
#include "asn1/Sequence.h"
#include "asn1/SequenceOf.h"

#include <climits>
#include <cstdlib>
#include <cwchar>
#include <ostream>
#include <string>

namespace ASN1 {

// Numbers are written as text of their own, so the stream's format flags neither change nor matter.
bool AVNEncoder::do_visit(const Null&) {
  return static_cast<bool>(strm_ << "NULL");
}

bool AVNEncoder::do_visit(const BOOLEAN& value) {
  return static_cast<bool>(strm_ << (value.getValue() ? "TRUE" : "FALSE"));
}

bool AVNEncoder::do_visit(const INTEGER& value) {
  const ConstrainedInfo* info = value.info();
  const bool as_unsigned = info->type != ConstraintType::Unconstrained && info->lower >= 0;
  const std::string text =
      as_unsigned ? std::to_string(static_cast<uint32_t>(value.getValue())) : std::to_string(value.getValue());
  return static_cast<bool>(strm_ << text);
}

bool AVNEncoder::do_visit(const IntegerWithNamedNumber& value) {
  std::string name;
  if (value.getName(name)) {
    return static_cast<bool>(strm_ << name);
  }
  return do_visit(static_cast<const INTEGER&>(value));
}

bool AVNEncoder::do_visit(const ENUMERATED& value) {
  if (const char* name = value.getName()) {
    return static_cast<bool>(strm_ << name);
  }
  return static_cast<bool>(strm_ << std::to_string(value.getValue()));
}

bool AVNEncoder::do_visit(const OBJECT_IDENTIFIER& value) {
  strm_ << "{ ";
  for (uint32_t arc : value.arcs()) {
    strm_ << std::to_string(arc) << ' ';
  }
  return static_cast<bool>(strm_ << '}');
}

bool AVNEncoder::do_visit(const BIT_STRING& value) {
  std::string text = "'";
  for (uint32_t i = 0; i < value.size(); ++i) {
    text += value[i] ? '1' : '0';
  }
  return static_cast<bool>(strm_ << text << "'B");
}

bool AVNEncoder::PrintOctets(const char* octets, size_t count) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text = "'";
  for (size_t i = 0; i < count; ++i) {
    if (i != 0) {
      text += ' ';
    }
    const auto octet = static_cast<uint8_t>(octets[i]);
    text += kDigits[octet >> 4];
    text += kDigits[octet & 0x0F];
  }
  return static_cast<bool>(strm_ << text << "'H");
}

bool AVNEncoder::do_visit(const OCTET_STRING& value) {
  return PrintOctets(value.data(), value.size());
}

bool AVNEncoder::do_visit(const AbstractString& value) {
  return static_cast<bool>(strm_ << '"' << static_cast<const std::string&>(value) << '"');
}

// Converted character by character in the current locale, so a character of several bytes is never cut off.
bool AVNEncoder::do_visit(const BMPString& value) {
  std::string text;
  std::mbstate_t state{};
  char bytes[MB_LEN_MAX];
  bool converted = true;
  for (size_t i = 0; i < value.size() && converted; ++i) {
    const size_t length = std::wcrtomb(bytes, value[i], &state);
    converted = length != static_cast<size_t>(-1);
    if (converted) {
      text.append(bytes, length);
    }
  }
  if (converted) {
    return static_cast<bool>(strm_ << '"' << text << '"');
  }
  strm_ << '{';
  for (size_t i = 0; i < value.size(); ++i) {
    const auto code = static_cast<uint32_t>(value[i]);
    strm_ << (i == 0 ? "" : ", ") << "{ 0, 0, " << std::to_string(code / 256) << ", " << std::to_string(code % 256)
          << '}';
  }
  return static_cast<bool>(strm_ << '}');
}

bool AVNEncoder::do_visit(const CHOICE& value) {
  const int id = value.currentSelection();
  // An index outside the name table or a missing selection cannot be printed.
  if (id < 0 || static_cast<uint32_t>(id) >= value.info()->totalCount || value.getSelection() == nullptr) {
    return false;
  }
  strm_ << value.info()->selectionNames[id] << " : ";
  return strm_ && value.getSelection()->accept(*this);
}

bool AVNEncoder::do_visit(const OpenData& value) {
  if (value.has_data()) {
    return value.get_data()->accept(*this);
  }
  if (value.has_buf()) {
    return PrintOctets(value.get_buf()->data(), value.get_buf()->size());
  }
  return static_cast<bool>(strm_);
}

bool AVNEncoder::do_visit(const GeneralizedTime& value) {
  return static_cast<bool>(strm_ << '"' << value.get() << '"');
}

void AVNEncoder::Indent(int count) {
  strm_ << std::string(static_cast<size_t>(count), ' ');
}

bool AVNEncoder::do_visit(const SEQUENCE_OF_Base& value) {
  strm_ << "{\n";
  indent_ += 2;
  for (size_t i = 0; i < value.size(); ++i) {
    Indent(indent_);
    if (!value.at(i).accept(*this)) {
      indent_ -= 2;
      return false;
    }
    if (i + 1 < value.size()) {
      strm_ << ",\n";
    }
  }
  indent_ -= 2;
  if (!value.empty()) {
    strm_ << '\n';
  }
  Indent(indent_);
  return static_cast<bool>(strm_ << '}');
}

bool AVNEncoder::preVisitExtensionRoots(const SEQUENCE&) {
  outputSeparators_.push_back(false);
  return static_cast<bool>(strm_ << "{\n");
}

bool AVNEncoder::PrintField(const SEQUENCE& value, int index) {
  if (outputSeparators_.back()) {
    strm_ << ",\n";
  }
  Indent(indent_ + 2);
  strm_ << value.info()->fieldNames[index] << ' ';
  indent_ += 2;
  const bool printed = strm_ && value.getField(static_cast<uint32_t>(index)) != nullptr &&
                       value.getField(static_cast<uint32_t>(index))->accept(*this);
  indent_ -= 2;
  outputSeparators_.back() = true;
  return printed;
}

bool AVNEncoder::visitExtensionRoot(const SEQUENCE& value, int index) {
  return PrintField(value, index);
}
bool AVNEncoder::visitKnownExtension(const SEQUENCE& value, int index) {
  return PrintField(value, index);
}

bool AVNEncoder::afterVisitSequence(const SEQUENCE&) {
  if (outputSeparators_.back()) {
    strm_ << '\n';
  }
  outputSeparators_.pop_back();
  Indent(indent_);
  return static_cast<bool>(strm_ << '}');
}

std::ostream& operator<<(std::ostream& stream, const AbstractData& value) {
  return g_inserter(stream, value);
}

}  // namespace ASN1
