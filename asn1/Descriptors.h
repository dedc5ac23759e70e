#pragma once

// Type descriptors: the constant tables that drive every ASN.1 value, coder and printer.
//
// A value holds a pointer to the descriptor of its type and nothing else about the type, so one SEQUENCE class
// serves every SEQUENCE type. Descriptors are plain aggregates: a generated module defines each of them as a
// namespace-scope or static-member constant whose initialiser is a constant expression (addresses of other
// descriptors, of functions and of constant arrays), so they are complete before any code runs and nothing patches
// them during static initialisation. A descriptor refers to the descriptors of its components by pointer; those may
// live in other translation units and only need an `extern` (or static member) declaration.
//
// How a generated type is described (an example module M):
//
//   M ::= SEQUENCE { seq INTEGER OPTIONAL, slot INTEGER (0..1023) OPTIONAL, pdu PDU, ..., ext BOOLEAN }
//
//   class Message : public ASN1::SEQUENCE {
//    public:
//     static const ASN1::SequenceInfo theInfo;
//     Message() : SEQUENCE(&theInfo) {}
//     ASN1::INTEGER& get_seq() { return fieldAs<ASN1::INTEGER>(0); }  // get_/set_ accessors
//     bool has_seq() const { return hasOptionalField(0); }             // has_/include_/omit_ for optional fields
//   };
//
// A CHOICE class names its alternatives in `enum class Alternative`, valued as their indexes, and has is_/get_/
// select_ accessors for each.
//
//   using Slot = ASN1::Constrained_INTEGER<ASN1::ConstraintType::FixedConstraint, 0, 1023>;
//   const ASN1::TypeInfo* const kMessageFields[] = {&ASN1::INTEGER::theInfo, &Slot::theInfo, &PDU::theInfo,
//                                                   &ASN1::BOOLEAN::theInfo};
//   const int32_t kMessageIds[] = {0, 1, -1};           // one per root field: optional number, or -1 (mandatory)
//   const uint8_t kMessageMandatoryExtensions[] = {0x00}; // or nullptr when no known extension is mandatory
//   const char* const kMessageNames[] = {"seq", "slot", "pdu", "ext"};
//   const ASN1::SequenceInfo Message::theInfo = {
//       {&ASN1::CreateAs<Message>, ASN1::kUniversalSequence},
//       true, kMessageFields, kMessageIds, 3, 1, 2, nullptr, nullptr, kMessageNames};
//
// Rules the coders rely on:
// - `create` builds an object of the class that the descriptor belongs to: `ASN1::CreateAs<T>` for a generated class
//   (so accessors may downcast any value that carries the descriptor), the base class's own `create` for the
//   runtime's built-in descriptors (`ASN1::INTEGER::theInfo`, `ASN1::IA5String::theInfo`, ...). Templates
//   (`Constrained_INTEGER`, `SEQUENCE_OF<T>`, `SET_OF<T>`) bring their own descriptors.
// - SEQUENCE: field tables list the root fields in declaration order, then the known extensions. Optional root fields
//   are numbered 0, 1, 2 ... in declaration order; the k-th known extension has number optionalCount + k.
// - CHOICE: alternatives are listed roots first, then known extensions; the index is the position in the table.
// - ENUMERATED: `maxValue` is the largest root value; `names` lists every enumerator (roots and extensions) with its
//   value, in declaration order, bare names only. Lookups search by value, so sparse values are fine.
// - Tags are used only by the BER coders; with automatic tagging `fieldTags` and `selectionTags` are null.
// - Integer bounds: `lower` is signed, `upper` unsigned, so INTEGER (0..4294967295) and INTEGER (-128..127) are both
//   representable; for strings, BIT STRING, OCTET STRING and SEQUENCE OF the bounds limit the size.

#include <cstddef>
#include <cstdint>

namespace ASN1 {

class AbstractData;
struct TypeInfo;

using CreateFunction = AbstractData* (*)(const TypeInfo* info);

// Common head of every descriptor. `tag` is (tag class << 16) | tag number; a CHOICE has tag 0.
struct TypeInfo {
  CreateFunction create;
  uint32_t tag;
};

enum : uint32_t {
  kUniversalInteger = 2,
  kUniversalBitString = 3,
  kUniversalOctetString = 4,
  kUniversalNull = 5,
  kUniversalObjectIdentifier = 6,
  kUniversalEnumerated = 10,
  kUniversalSequence = 16,
  kUniversalSet = 17,
  kUniversalNumericString = 18,
  kUniversalPrintableString = 19,
  kUniversalIA5String = 22,
  kUniversalGeneralizedTime = 24,
  kUniversalVisibleString = 26,
  kUniversalGeneralString = 27,
  kUniversalBMPString = 30,
  kUniversalBoolean = 1,
};

enum class ConstraintType : uint32_t {
  Unconstrained = 0,
  PartiallyConstrained = 1,  // lower bound only
  FixedConstraint = 2,
  ExtendableConstraint = 3,
};

// INTEGER (bounds of the value), BIT STRING, OCTET STRING, character strings and SEQUENCE OF (bounds of the size).
struct ConstrainedInfo : TypeInfo {
  ConstraintType type;
  int32_t lower;
  uint32_t upper;  // 0xFFFFFFFF when there is no upper bound
};

// 8-bit character strings. `charSet` lists the permitted characters in code order.
struct StringInfo : ConstrainedInfo {
  const char* charSet;
  uint32_t charSetSize;
  uint32_t canonicalBits;  // bits needed to index the set
  uint32_t unalignedBits;  // bits per character in the two PER variants
  uint32_t alignedBits;
};

struct BMPStringInfo : ConstrainedInfo {
  uint32_t firstChar;
  uint32_t lastChar;
  uint32_t unalignedBits;
  uint32_t alignedBits;
};

// The upper bound the PER coders give a length without size constraint.
constexpr uint32_t kUnconstrainedBound = 0x7FFFFFFF;

// Whether a string's size constraint is small enough that PER packs its characters without alignment.
inline bool IsSmallFixedSize(const ConstrainedInfo& info, unsigned bitsPerChar) {
  return info.type != ConstraintType::Unconstrained && uint64_t{info.upper} * bitsPerChar <= 16;
}

// One enumerator or named number.
struct NamedValue {
  int32_t value;
  const char* name;
};

struct EnumeratedInfo : TypeInfo {
  bool extendable;
  int32_t maxValue;  // largest root value
  const NamedValue* names;
  uint32_t nameCount;
};

// INTEGER with named numbers; `namedNumbers` is sorted by value.
struct NamedNumberInfo : ConstrainedInfo {
  const NamedValue* namedNumbers;
  uint32_t namedNumberCount;
};

struct SequenceInfo : TypeInfo {
  bool extendable;
  const TypeInfo* const* fieldInfos;  // roots, then known extensions
  const int32_t* fieldIds;            // per root field: -1 mandatory, else its optional number
  uint32_t rootCount;
  uint32_t knownExtensionCount;
  uint32_t optionalCount;              // optional root fields
  const uint8_t* mandatoryExtensions;  // knownExtensionCount bits, first extension in the top bit; may be null
  const uint32_t* fieldTags;           // BER only; null with automatic tags
  const char* const* fieldNames;       // roots, then known extensions
};

struct ChoiceInfo : TypeInfo {
  bool extendable;
  const TypeInfo* const* selectionInfos;  // roots, then known extensions
  uint32_t rootCount;
  uint32_t totalCount;
  const uint32_t* selectionTags;  // BER only; null with automatic tags
  const char* const* selectionNames;
};

struct SequenceOfInfo : ConstrainedInfo {
  const TypeInfo* elementInfo;
};

// An open type constrained to one contained type.
struct OpenTypeInfo : TypeInfo {
  const TypeInfo* containedInfo;
};

// Decoder limits: the largest decoded string, BIT STRING (in bits) and OCTET STRING, and the largest decoded
// SEQUENCE OF count and extension bitmap. They bound what a peer can make the decoder allocate.
extern uint32_t MaximumStringSize;
extern uint32_t MaximumArraySize;

// Bits needed for n distinct values: 0 for n = 1, the smallest b with 2^b >= n above; 32 for n = 0, the count of a
// full 32-bit range that wrapped.
unsigned CountBits(uint64_t n);

// Unsigned byte-wise comparison; a proper prefix is smaller. Returns -1, 0 or +1 at the first difference.
int lexicographic_compare_bytes(const uint8_t* begin1, const uint8_t* end1, const uint8_t* begin2, const uint8_t* end2);

}  // namespace ASN1
