// Every generated type, reached through the list of generated types and then only through descriptors, is filled
// in several ways, encoded, decoded into a fresh value, compared and encoded again; so no type of the modules can
// be left out or carry a descriptor that does not round-trip.

#include "schemas/GeneratedTypes.h"
#include "schemas/LEMZGW.h"
#include "schemas/LGCP.h"
#include "schemas/MON.h"
#include "schemas/TERM.h"

#include "asn1/CoderEnv.h"
#include "asn1/ValidChecker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Which of the ways to fill a value: picks the CHOICE alternative, the enumerator and the edge of each range.
struct Variant {
  unsigned number;
  bool minimal;  // optional fields absent and lists empty
};

void Fill(ASN1::AbstractData& value, const Variant& variant);

void FillSequence(ASN1::SEQUENCE& sequence, const Variant& variant) {
  const ASN1::SequenceInfo* info = sequence.info();
  int optional_number = 0;
  for (uint32_t i = 0; i < info->rootCount; ++i) {
    if (info->fieldIds[i] >= 0) {
      optional_number = info->fieldIds[i] + 1;
      if (variant.minimal) {
        continue;
      }
      sequence.includeOptionalField(info->fieldIds[i], static_cast<int>(i));
    }
    Fill(*sequence.getField(i), variant);
  }
  for (uint32_t k = 0; k < info->knownExtensionCount && !variant.minimal; ++k) {
    sequence.includeOptionalField(optional_number + static_cast<int>(k), static_cast<int>(info->rootCount + k));
    Fill(*sequence.getField(info->rootCount + k), variant);
  }
}

// Enumerators that can be sent: a negative value has no wire form.
std::vector<int32_t> SendableValues(const ASN1::EnumeratedInfo* info) {
  std::vector<int32_t> values;
  for (uint32_t i = 0; i < info->nameCount; ++i) {
    if (info->names[i].value >= 0) {
      values.push_back(info->names[i].value);
    }
  }
  return values;
}

void FillInteger(ASN1::INTEGER& integer, unsigned number) {
  const ASN1::ConstrainedInfo* info = integer.info();
  if (info->type == ASN1::ConstraintType::Unconstrained) {
    const int kValues[] = {-129, 2147483647, -2147483647 - 1, 0, 128};
    integer.setValue(kValues[number % std::size(kValues)]);
    return;
  }
  // Alternately the upper and the lower edge of the range.
  integer.setValue(number % 2 == 0 ? static_cast<int>(info->upper) : info->lower);
}

void FillString(ASN1::AbstractString& text, unsigned number) {
  const ASN1::StringInfo* info = text.info();
  const std::string kSample = "10.0.0.1 -_~";
  if (info->type == ASN1::ConstraintType::Unconstrained) {
    text = number % 2 == 0 ? kSample : std::string();
    return;
  }
  const uint32_t length = number % 2 == 0 ? info->upper : static_cast<uint32_t>(info->lower);
  text = std::string(length, 'x');
}

void Fill(ASN1::AbstractData& value, const Variant& variant) {
  if (auto* sequence = dynamic_cast<ASN1::SEQUENCE*>(&value)) {
    FillSequence(*sequence, variant);
  } else if (auto* choice = dynamic_cast<ASN1::CHOICE*>(&value)) {
    ASSERT_TRUE(choice->select(static_cast<int>(variant.number % choice->info()->totalCount)));
    Fill(*choice->getSelection(), variant);
  } else if (auto* list = dynamic_cast<ASN1::SEQUENCE_OF_Base*>(&value)) {
    list->resize(variant.minimal ? 0 : 2);
    for (size_t i = 0; i < list->size(); ++i) {
      Fill(list->at(i), Variant{variant.number + static_cast<unsigned>(i), false});
    }
  } else if (auto* enumerated = dynamic_cast<ASN1::ENUMERATED*>(&value)) {
    const std::vector<int32_t> values = SendableValues(enumerated->info());
    ASSERT_FALSE(values.empty());
    enumerated->setValue(values[variant.number % values.size()]);
  } else if (auto* integer = dynamic_cast<ASN1::INTEGER*>(&value)) {
    FillInteger(*integer, variant.number);
  } else if (auto* boolean = dynamic_cast<ASN1::BOOLEAN*>(&value)) {
    boolean->setValue(variant.number % 2 == 0);
  } else if (auto* text = dynamic_cast<ASN1::AbstractString*>(&value)) {
    FillString(*text, variant.number);
  } else if (auto* octets = dynamic_cast<ASN1::OCTET_STRING*>(&value)) {
    octets->assign(variant.number % 2 == 0 ? 3 : 1, '\xA5');
  } else {
    ASSERT_NE(dynamic_cast<ASN1::Null*>(&value), nullptr) << "a kind the schemas do not use";
  }
}

unsigned VariantCount(const ASN1::TypeInfo* info) {
  std::unique_ptr<ASN1::AbstractData> value(info->create(info));
  if (auto* choice = dynamic_cast<ASN1::CHOICE*>(value.get())) {
    return std::max(choice->info()->totalCount, 2u);
  }
  if (auto* enumerated = dynamic_cast<ASN1::ENUMERATED*>(value.get())) {
    return static_cast<unsigned>(SendableValues(enumerated->info()).size());
  }
  return 5;  // every unconstrained INTEGER sample
}

std::vector<char> Encode(const ASN1::AbstractData& value, int rule) {
  std::vector<char> bytes;
  ASN1::CoderEnv env(rule);
  EXPECT_TRUE(ASN1::encode(value, &env, std::back_inserter(bytes)));
  return bytes;
}

// In every encoding rule: aligned PER, BER and value notation.
void ExpectRoundTrip(const ASN1::TypeInfo* info, const Variant& variant) {
  SCOPED_TRACE("variant " + std::to_string(variant.number) + (variant.minimal ? " minimal" : ""));
  std::unique_ptr<ASN1::AbstractData> original(info->create(info));
  Fill(*original, variant);
  std::ostringstream why;
  EXPECT_TRUE(ASN1::trace_invalid(why, "invalid:", *original) && original->isValid()) << why.str();
  for (const int rule : {ASN1::CoderEnv::per_Aligned, ASN1::CoderEnv::ber, ASN1::CoderEnv::avn}) {
    SCOPED_TRACE("rule " + std::to_string(rule));
    const std::vector<char> bytes = Encode(*original, rule);
    std::unique_ptr<ASN1::AbstractData> decoded(info->create(info));
    ASN1::CoderEnv env(rule);
    ASSERT_TRUE(ASN1::decode(bytes.data(), bytes.data() + bytes.size(), &env, *decoded, true));
    EXPECT_EQ(decoded->compare(*original), 0) << original->asValueNotation() << "\n" << decoded->asValueNotation();
    EXPECT_EQ(Encode(*decoded, rule), bytes);
  }
  const std::string text = original->asValueNotation();
  EXPECT_EQ(text.find(ASN1::AbstractData::kPrintFailedMarker), std::string::npos) << text;
}

TEST(GeneratedTypes, EveryTypeRoundTripsInEveryVariant) {
  ASSERT_GT(Schemas::kGeneratedTypeCount, 300u);
  for (size_t i = 0; i < Schemas::kGeneratedTypeCount; ++i) {
    const Schemas::GeneratedType& type = Schemas::kGeneratedTypes[i];
    SCOPED_TRACE(type.name);
    // Accessors downcast: a value made from a descriptor, and its copy, must be of the generated class.
    std::unique_ptr<ASN1::AbstractData> value(type.info->create(type.info));
    EXPECT_EQ(value->typeInfo(), type.info);
    std::unique_ptr<ASN1::AbstractData> copy(value->clone());
    EXPECT_EQ(typeid(*copy), typeid(*value));
    for (unsigned number = 0; number < VariantCount(type.info); ++number) {
      ExpectRoundTrip(type.info, Variant{number, false});
      ExpectRoundTrip(type.info, Variant{number, true});
    }
  }
}

}  // namespace
