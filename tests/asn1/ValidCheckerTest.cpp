#include "TestSchema.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <sstream>
#include <string>

namespace {

using ASN1::ConstraintType;
using Maker = std::function<std::unique_ptr<ASN1::AbstractData>()>;

constexpr ASN1::ConstrainedInfo IntegerRange(ConstraintType type, int32_t lower, uint32_t upper) {
  return {{&ASN1::INTEGER::create, ASN1::kUniversalInteger}, type, lower, upper};
}
const ASN1::ConstrainedInfo kOneTo255 = IntegerRange(ConstraintType::FixedConstraint, 1, 255);
const ASN1::ConstrainedInfo kByte = IntegerRange(ConstraintType::FixedConstraint, -128, 127);
const ASN1::ConstrainedInfo kTwoToSeven = IntegerRange(ConstraintType::ExtendableConstraint, 2, 7);
const ASN1::ConstrainedInfo kFourOctets = {
    {&ASN1::OCTET_STRING::create, ASN1::kUniversalOctetString}, ConstraintType::FixedConstraint, 4, 4};
const ASN1::BMPStringInfo kAsciiBmp = {
    {{&ASN1::BMPString::create, ASN1::kUniversalBMPString}, ConstraintType::Unconstrained, 0, 0xFFFFFFFF},
    0x20,
    0x7E,
    16,
    16};
const ASN1::StringInfo kAnyCharacter = {
    {{&ASN1::AbstractString::create, ASN1::kUniversalIA5String}, ConstraintType::Unconstrained, 0, 0xFFFFFFFF},
    nullptr,
    0,
    8,
    8,
    8};
const ASN1::SequenceOfInfo kSlots = {
    {{&ASN1::SEQUENCE_OF_Base::create, ASN1::kUniversalSequence}, ConstraintType::Unconstrained, 0, 0xFFFFFFFF},
    &test::Slot::theInfo};
// ExtChoice ::= CHOICE { a INTEGER, ..., b BOOLEAN }
const ASN1::TypeInfo* const kExtChoiceInfos[] = {&ASN1::INTEGER::theInfo, &ASN1::BOOLEAN::theInfo};
const char* const kExtChoiceNames[] = {"a", "b"};
const ASN1::ChoiceInfo kExtChoice = {{&ASN1::CHOICE::create, 0}, true, kExtChoiceInfos, 1, 2, nullptr, kExtChoiceNames};

std::unique_ptr<ASN1::AbstractData> Ping(std::optional<int> slot) {
  return std::make_unique<test::Message>(test::MakeCommand(1, slot, test::Command::ping));
}

template <class T, class... Args>
Maker Holding(int value, Args... args) {
  return [=] {
    auto made = std::make_unique<T>(args...);
    made->setValue(value);
    return made;
  };
}

template <class T>
Maker With(std::function<void(T&)> set) {
  return [=] {
    auto made = std::make_unique<T>();
    set(*made);
    return made;
  };
}

// Each value against both checks and the tracer: what the tracer writes after its prefix, "" for nothing.
TEST(ValidChecker, EachKindOfInvalidComponent) {
  const struct {
    const char* name;
    Maker make;
    bool valid;
    bool strict;
    const char* trace;
  } kCases[] = {
      {"valid message", [] { return Ping(1023); }, true, true, ""},
      {"slot out of range", [] { return Ping(2000); }, false, false,
       ".slot The INTEGER value 2000 is greater than upper bound 1023"},
      {"below a range", Holding<ASN1::INTEGER>(0, &kOneTo255), false, false,
       " The INTEGER value 0 is smaller than lower bound 1"},
      {"below a signed range", Holding<ASN1::INTEGER>(-129, &kByte), false, false,
       " The INTEGER value -129 is smaller than lower bound -128"},
      {"negative unconstrained", Holding<ASN1::INTEGER>(-5), true, true, ""},
      {"above an extendable range", Holding<ASN1::INTEGER>(9, &kTwoToSeven), true, false, ""},
      {"below an extendable range", Holding<ASN1::INTEGER>(1, &kTwoToSeven), true, false,
       " The INTEGER value 1 is smaller than lower bound 2"},
      {"enumerator beyond an extendable root", Holding<test::ErrorCause>(20), true, false,
       " This ENUMERATED has invalid value 20"},
      {"enumerator beyond a closed root", Holding<test::Sparse>(41), false, false,
       " This ENUMERATED has invalid value 41"},
      {"unselected choice in a field",
       [] {
         auto message = std::make_unique<test::Message>();
         message->get_pdu().setSelection(ASN1::CHOICE::kNoSelection, nullptr);
         return message;
       },
       false, false, ".pdu This CHOICE is not selected"},
      {"unknown selection", [] { return std::make_unique<ASN1::CHOICE>(&kExtChoice, ASN1::CHOICE::kUnknownExtension); },
       false, false, " This selection is not understood by this decoder"},
      {"extension alternative",
       [] {
         auto choice = std::make_unique<ASN1::CHOICE>(&kExtChoice);
         choice->select(1);
         return choice;
       },
       true, false, ""},
      {"list reports its first bad element",
       [] {
         auto list = std::make_unique<ASN1::SEQUENCE_OF_Base>(&kSlots);
         list->resize(3);
         static_cast<ASN1::INTEGER&>(list->at(1)).setValue(2000);
         static_cast<ASN1::INTEGER&>(list->at(2)).setValue(3000);
         return list;
       },
       false, false, "[1] The INTEGER value 2000 is greater than upper bound 1023"},
      {"unassigned identifier", [] { return std::make_unique<ASN1::OBJECT_IDENTIFIER>(); }, false, false,
       " This OBJECT IDENTIFIER is not assigned"},
      {"octets below their size", [] { return std::make_unique<ASN1::OCTET_STRING>(3, 'x', &kFourOctets); }, false,
       false, " This OCTET STRING has size 3 smaller than its lower bound 4"},
      {"character outside the set", [] { return std::make_unique<ASN1::PrintableString>("a*b"); }, false, false,
       " The character '*' is not valid for the string"},
      {"BMP character outside the range", [] { return std::make_unique<ASN1::BMPString>(L"a\u263A", &kAsciiBmp); },
       false, false, " The character '9786' is not valid for the string"},
      {"month 13", With<ASN1::GeneralizedTime>([](auto& t) { static_cast<void>(t.set("20241301000000Z")); }), false,
       false, " This GeneralizedTime is not valid"},
      {"empty open type", [] { return std::make_unique<ASN1::OpenData>(); }, false, false,
       " This Open Type does not contain any valid data"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const auto value = c.make();
    EXPECT_EQ(value->isValid(), c.valid);
    EXPECT_EQ(value->isStrictlyValid(), c.strict);
    std::ostringstream out;
    const bool clean = *c.trace == '\0';
    EXPECT_EQ(ASN1::trace_invalid(out, "msg:", *value), clean);
    EXPECT_EQ(out.str(), clean ? "" : "msg:" + std::string(c.trace) + "\n");
  }
}

// The checks each class makes of itself, at the edges the checkers rely on.
TEST(ValidChecker, ClassChecksAtTheirEdges) {
  EXPECT_FALSE(ASN1::INTEGER(0, &kOneTo255).isStrictValid());
  EXPECT_TRUE(ASN1::INTEGER(255, &kOneTo255).isStrictValid());
  EXPECT_TRUE(ASN1::INTEGER(-128, &kByte).isStrictValid());
  EXPECT_FALSE(ASN1::INTEGER(128, &kByte).isStrictValid());
  EXPECT_TRUE(ASN1::INTEGER(-1, &ASN1::Constrained_INTEGER<ConstraintType::FixedConstraint, 0, 0xFFFFFFFF>::theInfo)
                  .isStrictValid());

  const ASN1::BMPString smile(L"ab\u263Ac", &kAsciiBmp);
  EXPECT_EQ(smile.first_illegal_at(), 2u);
  EXPECT_EQ(ASN1::BMPString(L"a~", &kAsciiBmp).first_illegal_at(), 2u);
  EXPECT_FALSE(smile.legalCharacter(L'\x1F'));
  EXPECT_FALSE(ASN1::PrintableString().legalCharacter('*'));
  EXPECT_TRUE(ASN1::AbstractString(&kAnyCharacter).legalCharacter('*'));

  test::ErrorCause cause;
  EXPECT_TRUE(cause.extendable());
  EXPECT_EQ(cause.getMaximum(), 12);
  test::Sparse sparse;
  EXPECT_FALSE(sparse.extendable());
  sparse.setValue(-1);
  EXPECT_TRUE(sparse.isStrictlyValid());
}

}  // namespace
