#pragma once

#include "asn1/AbstractData.h"

#include <cstdint>
#include <string>

namespace ASN1 {

// Permitted characters of the built-in 8-bit string types, in code order.
extern const char NumericStringSet[];
extern const char PrintableStringSet[];
extern const char IA5StringSet[];
extern const char VisibleStringSet[];
extern const char GeneralStringSet[];

// Every 8-bit character-string type; the descriptor says which. The text is the string itself.
class AbstractString : public ConstrainedObject, public std::string {
 public:
  static AbstractData* create(const TypeInfo* info);

  explicit AbstractString(const StringInfo* info) : ConstrainedObject(info) {}
  AbstractString(const StringInfo* info, const std::string& text) : ConstrainedObject(info), std::string(text) {}
  AbstractString(const StringInfo* info, const char* text) : ConstrainedObject(info), std::string(text) {}

  const StringInfo* info() const { return static_cast<const StringInfo*>(info_); }
  AbstractString& operator=(const std::string& text) {
    assign(text);
    return *this;
  }
  // Whether the character belongs to the type's set; any character does when the set is empty.
  bool legalCharacter(char character) const;
  // The size keeps its constraint (an extendable one may be exceeded unless strictly) and every character is legal.
  bool isValid() const;
  bool isStrictlyValid() const;

  int do_compare(const AbstractData& other) const override;
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& visitor) override;
  bool do_accept(ConstVisitor& visitor) const override;

 private:
  bool allCharactersLegal() const;
};

// The built-in string types, each with its own descriptor (no size constraint), told apart by their universal tag.
template <uint32_t tag>
class BuiltinString : public AbstractString {
 public:
  static const StringInfo theInfo;

  BuiltinString() : AbstractString(&theInfo) {}
  explicit BuiltinString(const std::string& text) : AbstractString(&theInfo, text) {}
  using AbstractString::operator=;
};

template <>
const StringInfo BuiltinString<kUniversalNumericString>::theInfo;
template <>
const StringInfo BuiltinString<kUniversalPrintableString>::theInfo;
template <>
const StringInfo BuiltinString<kUniversalIA5String>::theInfo;
template <>
const StringInfo BuiltinString<kUniversalVisibleString>::theInfo;
template <>
const StringInfo BuiltinString<kUniversalGeneralString>::theInfo;

using NumericString = BuiltinString<kUniversalNumericString>;
using PrintableString = BuiltinString<kUniversalPrintableString>;
using IA5String = BuiltinString<kUniversalIA5String>;
using VisibleString = BuiltinString<kUniversalVisibleString>;
using GeneralString = BuiltinString<kUniversalGeneralString>;

}  // namespace ASN1
