#include "asn1/AVNDecoder.h"

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

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cwchar>
#include <istream>
#include <sstream>

namespace ASN1 {
namespace {

bool IsSpace(int c) {
  return c != std::char_traits<char>::eof() && std::isspace(static_cast<unsigned char>(c)) != 0;
}
bool IsDigit(int c) {
  return c != std::char_traits<char>::eof() && std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// The text up to the next `end`, which must come.
bool ReadUpTo(std::istream& stream, char end, std::string& text) {
  return std::getline(stream, text, end) && !stream.eof();
}

// A decimal number; as unsigned it takes 0 to 4294967295 and no sign, as signed the range of a 32-bit int.
bool ReadNumber(std::istream& stream, bool as_unsigned, int32_t& number) {
  stream >> std::ws;
  const bool negative = stream.peek() == '-';
  if (negative) {
    if (as_unsigned) {
      return false;
    }
    stream.get();
  }
  uint64_t magnitude = 0;
  int digits = 0;
  for (; IsDigit(stream.peek()); ++digits) {
    magnitude = magnitude * 10 + static_cast<uint64_t>(stream.get() - '0');
    if (magnitude > UINT32_MAX) {
      return false;
    }
  }
  const uint64_t limit = as_unsigned ? UINT32_MAX : (negative ? uint64_t{INT32_MAX} + 1 : INT32_MAX);
  if (digits == 0 || magnitude > limit) {
    return false;
  }
  number = static_cast<int32_t>(negative ? 0 - static_cast<uint32_t>(magnitude) : static_cast<uint32_t>(magnitude));
  return true;
}

bool ReadUnsigned(const std::string& digits, uint32_t& number) {
  std::istringstream text(digits);
  int32_t read = 0;
  if (digits.empty() || !IsDigit(digits[0]) || !ReadNumber(text, true, read) || text.peek() != EOF) {
    return false;
  }
  number = static_cast<uint32_t>(read);
  return true;
}

// One object identifier component: a number, or a name followed directly by its number in parentheses (iso(1)).
bool ReadArc(const std::string& word, uint32_t& arc) {
  if (IsDigit(word[0])) {
    return ReadUnsigned(word, arc);
  }
  const size_t open = word.find('(');
  return open != std::string::npos && open > 0 && word.back() == ')' &&
         ReadUnsigned(word.substr(open + 1, word.size() - open - 2), arc);
}

// Converted character by character over the exact length, in the current locale.
bool ToWide(const std::string& text, std::wstring& wide) {
  std::mbstate_t state{};
  wide.clear();
  for (size_t at = 0; at < text.size();) {
    wchar_t character = 0;
    size_t used = std::mbrtowc(&character, text.data() + at, text.size() - at, &state);
    if (used == static_cast<size_t>(-1) || used == static_cast<size_t>(-2)) {
      return false;
    }
    wide.push_back(character);
    at += std::max<size_t>(used, 1);  // 0: a NUL character
  }
  return true;
}

}  // namespace

bool get_id(const char* const* names, unsigned count, const std::string& name, int& index) {
  for (unsigned i = 0; i < count; ++i) {
    if (name == names[i]) {
      index = static_cast<int>(i);
      return true;
    }
  }
  return false;
}

bool get_string(std::istream& stream, std::string& text) {
  char quote = 0;
  return stream >> quote && quote == '"' && ReadUpTo(stream, '"', text);
}

bool get_from_string(std::string& digits, std::vector<char>& octets, unsigned& count, int base) {
  digits.erase(std::remove_if(digits.begin(), digits.end(), [](char c) { return IsSpace(c); }), digits.end());
  count = static_cast<unsigned>(digits.size());
  const size_t group = base == 2 ? 8 : 2;
  digits.append((group - digits.size() % group) % group, '0');
  octets.clear();
  for (size_t at = 0; at < digits.size(); at += group) {
    unsigned octet = 0;
    for (size_t i = at; i < at + group; ++i) {
      const char c = digits[i];
      const bool binary = c == '0' || c == '1';
      if (base == 2 ? !binary : std::isxdigit(static_cast<unsigned char>(c)) == 0) {
        return false;
      }
      octet = octet * static_cast<unsigned>(base) + static_cast<unsigned>(IsDigit(c) ? c - '0' : (c | 0x20) - 'a' + 10);
    }
    octets.push_back(static_cast<char>(octet));
  }
  return true;
}

bool get_value_from(std::istream& stream, std::vector<char>& octets, unsigned& count) {
  char quote = 0;
  std::string digits;
  char form = 0;
  if (!(stream >> quote) || quote != '\'' || !ReadUpTo(stream, '\'', digits) || !(stream >> form) ||
      (form != 'B' && form != 'H')) {
    return false;
  }
  if (!get_from_string(digits, octets, count, form == 'B' ? 2 : 16)) {
    return false;
  }
  if (form == 'H') {
    count *= 4;
  }
  return true;
}

bool AVNDecoder::expect(char wanted) {
  char found = 0;
  return strm_ >> found && found == wanted;
}

bool AVNDecoder::readLetters(std::string& letters) {
  strm_ >> std::ws;
  letters.clear();
  while (std::isalpha(strm_.peek()) != 0) {
    letters.push_back(static_cast<char>(strm_.get()));
  }
  return !letters.empty();
}

bool AVNDecoder::readName(std::string& name) {
  strm_ >> std::ws;
  name.clear();
  const int first = strm_.peek();
  if (first == ',' || first == '}') {
    name.push_back(static_cast<char>(strm_.get()));
    return true;
  }
  for (int c = first; c != EOF && !IsSpace(c) && c != ',' && c != '}'; c = strm_.peek()) {
    name.push_back(static_cast<char>(strm_.get()));
  }
  return !name.empty();
}

bool AVNDecoder::do_visit(Null&) {
  std::string letters;
  return readLetters(letters) && letters == "NULL";
}

bool AVNDecoder::do_visit(BOOLEAN& value) {
  std::string letters;
  if (!readLetters(letters) || (letters != "TRUE" && letters != "FALSE")) {
    return false;
  }
  value.setValue(letters == "TRUE");
  return true;
}

bool AVNDecoder::do_visit(INTEGER& value) {
  const ConstrainedInfo& info = *value.info();
  int32_t number = 0;
  if (!ReadNumber(strm_, info.type != ConstraintType::Unconstrained && info.lower >= 0, number)) {
    return false;
  }
  value.setValue(number);
  return true;
}

bool AVNDecoder::do_visit(IntegerWithNamedNumber& value) {
  strm_ >> std::ws;
  if (IsDigit(strm_.peek()) || strm_.peek() == '-') {
    return do_visit(static_cast<INTEGER&>(value));
  }
  std::string name;
  return readName(name) && value.setFromName(name);
}

bool AVNDecoder::do_visit(ENUMERATED& value) {
  std::string name;
  return readName(name) && value.setFromName(name);
}

bool AVNDecoder::do_visit(OBJECT_IDENTIFIER& value) {
  std::string text;
  if (!expect('{') || !ReadUpTo(strm_, '}', text)) {
    return false;
  }
  std::istringstream words(text);
  for (std::string word; words >> word;) {
    uint32_t arc = 0;
    if (!ReadArc(word, arc)) {
      return false;
    }
    value.arcs().push_back(arc);
  }
  return true;
}

bool AVNDecoder::do_visit(OCTET_STRING& value) {
  std::vector<char> octets;
  unsigned count = 0;
  if (!get_value_from(strm_, octets, count)) {
    return false;
  }
  value.assign(octets.begin(), octets.end());
  return true;
}

bool AVNDecoder::do_visit(BIT_STRING& value) {
  std::vector<char> octets;
  unsigned count = 0;
  if (!get_value_from(strm_, octets, count)) {
    return false;
  }
  value.resize(count);
  std::copy(octets.begin(), octets.begin() + static_cast<std::ptrdiff_t>(value.bytes().size()), value.bytes().begin());
  value.resize(count);  // clears the padding digits of a hexadecimal form
  return true;
}

bool AVNDecoder::do_visit(AbstractString& value) {
  std::string text;
  if (!get_string(strm_, text)) {
    return false;
  }
  value.assign(text);
  return true;
}

bool AVNDecoder::do_visit(BMPString& value) {
  std::string text;
  std::wstring wide;
  if (!get_string(strm_, text) || !ToWide(text, wide)) {
    return false;
  }
  value.assign(wide);
  return true;
}

bool AVNDecoder::do_visit(GeneralizedTime& value) {
  std::string text;
  return get_string(strm_, text) && value.set(text.c_str());
}

bool AVNDecoder::do_visit(CHOICE& value) {
  std::string name;
  int index = 0;
  if (!readName(name) || !expect(':') || !get_id(value.info()->selectionNames, value.info()->totalCount, name, index)) {
    return false;
  }
  if ((index != value.currentSelection() || value.getSelection() == nullptr) && !value.select(index)) {
    return false;
  }
  return value.getSelection()->accept(*this);
}

bool AVNDecoder::do_visit(SEQUENCE_OF_Base& value) {
  char next = 0;
  if (!expect('{') || !(strm_ >> next)) {
    return false;
  }
  value.clear();
  if (next == '}') {
    return true;
  }
  strm_.unget();
  for (;;) {
    value.resize(value.size() + 1);
    if (!value.at(value.size() - 1).accept(*this) || !(strm_ >> next)) {
      return false;
    }
    if (next == '}') {
      return true;
    }
    if (next != ',') {
      return false;
    }
  }
}

bool AVNDecoder::do_visit(OpenData&) {
  return false;
}

bool AVNDecoder::do_revisit(OpenData&) {
  return false;
}

bool AVNDecoder::do_visit(TypeConstrainedOpenData& value) {
  return value.has_data() && value.get_data()->accept(*this);
}

int AVNDecoder::preVisitExtensionRoots(SEQUENCE&) {
  char next = 0;
  if (!expect('{') || !(strm_ >> next)) {
    return kFail;
  }
  if (next == '}') {
    return kStop;  // {} leaves the fields as they are
  }
  strm_.unget();
  std::string name;
  if (!readName(name)) {
    return kFail;
  }
  identifiers_.push_back(name);
  return kGoOn;
}

// The field is read when the name read last is its name; an optional field of another name is left out.
int AVNDecoder::readField(SEQUENCE& value, int index, int optionalNumber) {
  if (identifiers_.back() != value.info()->fieldNames[index]) {
    return optionalNumber != -1 ? kGoOn : kFail;
  }
  if (optionalNumber != -1) {
    value.includeOptionalField(optionalNumber, index);
  }
  AbstractData* field = value.createField(static_cast<uint32_t>(index));
  char next = 0;
  if (field == nullptr || !field->accept(*this) || !(strm_ >> next)) {
    return kFail;
  }
  if (next == '}') {
    identifiers_.pop_back();
    return kStop;
  }
  return next == ',' && readName(identifiers_.back()) ? kGoOn : kFail;
}

int AVNDecoder::visitExtensionRoot(SEQUENCE& value, int index, int optionalNumber) {
  return readField(value, index, optionalNumber);
}

int AVNDecoder::visitKnownExtension(SEQUENCE& value, int index, int optionalNumber) {
  return readField(value, index, optionalNumber);
}

// Reached with a name left over: only the "}" after a final comma ends the value; any other names no field.
int AVNDecoder::visitUnknownExtensions(SEQUENCE&) {
  if (identifiers_.back() != "}") {
    return kFail;
  }
  identifiers_.pop_back();
  return kStop;
}

std::istream& operator>>(std::istream& stream, AbstractData& value) {
  return g_extractor(stream, value);
}

}  // namespace ASN1
