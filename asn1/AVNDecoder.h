#pragma once

#include "asn1/Visitor.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace ASN1 {

// Reads a value in ASN.1 value notation, the notation AVNEncoder writes, into an existing value whose descriptor
// says what to expect. Reading is token based: white space separates tokens and is otherwise skipped. Fields must
// come in the order of the type; optional ones may be left out. A name (of a field, an alternative, an enumerator)
// runs to the next white space, comma or closing brace, so a value printed as "mode master," reads back. Every
// failure is a false result; the value may then be partly filled.
class AVNDecoder : public Visitor {
 public:
  explicit AVNDecoder(std::istream& stream) : strm_(stream) {}

  bool do_visit(Null& value) override;
  bool do_visit(BOOLEAN& value) override;
  bool do_visit(INTEGER& value) override;
  bool do_visit(IntegerWithNamedNumber& value) override;
  bool do_visit(ENUMERATED& value) override;
  bool do_visit(OBJECT_IDENTIFIER& value) override;
  bool do_visit(OCTET_STRING& value) override;
  bool do_visit(BIT_STRING& value) override;
  bool do_visit(AbstractString& value) override;
  bool do_visit(BMPString& value) override;
  bool do_visit(CHOICE& value) override;
  bool do_visit(SEQUENCE_OF_Base& value) override;
  // An open type has no value notation of its own.
  bool do_visit(OpenData& value) override;
  bool do_revisit(OpenData& value) override;
  bool do_visit(TypeConstrainedOpenData& value) override;
  bool do_visit(GeneralizedTime& value) override;

  int preVisitExtensionRoots(SEQUENCE& value) override;
  int visitExtensionRoot(SEQUENCE& value, int index, int optionalNumber) override;
  int visitKnownExtension(SEQUENCE& value, int index, int optionalNumber) override;
  int visitUnknownExtensions(SEQUENCE& value) override;

 private:
  bool readLetters(std::string& letters);
  bool readName(std::string& name);
  bool expect(char wanted);
  int readField(SEQUENCE& value, int index, int optionalNumber);

  std::istream& strm_;
  std::vector<std::string> identifiers_;  // per SEQUENCE being read: the field name read last and not yet matched
};

// The index of the first entry of names[0 .. count) equal to name.
bool get_id(const char* const* names, unsigned count, const std::string& name, int& index);
// A string between double quotes (no escapes).
bool get_string(std::istream& stream, std::string& text);
// 'digits'B or 'digits'H into octets, the first digit in the top bit; count is the number of bits the digits give.
bool get_value_from(std::istream& stream, std::vector<char>& octets, unsigned& count);
// The digits (blanks and newlines ignored) in base 2 or 16; count is the number of digits.
bool get_from_string(std::string& digits, std::vector<char>& octets, unsigned& count, int base);

std::istream& operator>>(std::istream& stream, AbstractData& value);

}  // namespace ASN1
