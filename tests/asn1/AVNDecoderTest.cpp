#include "TestSchema.h"

#include <gtest/gtest.h>

#include <clocale>
#include <functional>
#include <memory>
#include <sstream>
#include <string>

namespace {

const ASN1::ConstrainedInfo kFull32 = {
    {&ASN1::INTEGER::create, ASN1::kUniversalInteger}, ASN1::ConstraintType::FixedConstraint, 0, 0xFFFFFFFF};
const ASN1::SequenceOfInfo kIntegers = {
    {{&ASN1::SEQUENCE_OF_Base::create, ASN1::kUniversalSequence}, ASN1::ConstraintType::Unconstrained, 0, 0xFFFFFFFF},
    &ASN1::INTEGER::theInfo};
const ASN1::NamedValue kRanks[] = {{-1, "none"}, {3, "low"}, {40, "high"}};
const ASN1::NamedNumberInfo kRank = {{{&ASN1::IntegerWithNamedNumber::create, ASN1::kUniversalInteger},
                                      ASN1::ConstraintType::Unconstrained,
                                      0,
                                      0xFFFFFFFF},
                                     kRanks,
                                     3};
// Pair ::= SEQUENCE { cause ErrorCause, rank INTEGER { none(-1), low(3), high(40) } }
const ASN1::TypeInfo* const kPairInfos[] = {&test::ErrorCause::theInfo, &kRank};
const int32_t kPairIds[] = {-1, -1};
const char* const kPairNames[] = {"cause", "rank"};
const ASN1::SequenceInfo kPair = {{&ASN1::SEQUENCE::create, ASN1::kUniversalSequence},
                                  false,
                                  kPairInfos,
                                  kPairIds,
                                  2,
                                  0,
                                  0,
                                  nullptr,
                                  nullptr,
                                  kPairNames};

using Maker = std::function<std::unique_ptr<ASN1::AbstractData>()>;

template <class T, class... Args>
Maker Make(Args... args) {
  return [=] { return std::make_unique<T>(args...); };
}

// Each text read into a fresh value: the value as printed afterwards, or "" when the text must fail.
TEST(AVNDecoder, ReadsEachKind) {
  const struct {
    const char* name;
    Maker make;
    const char* text;
    const char* read;
  } kCases[] = {
      {"null", Make<ASN1::Null>(), " NULL", "NULL"},
      {"boolean", Make<ASN1::BOOLEAN>(), "TRUE", "TRUE"},
      {"not a boolean", Make<ASN1::BOOLEAN>(), "True", ""},
      {"negative integer", Make<ASN1::INTEGER>(), "-129", "-129"},
      {"unsigned word", Make<ASN1::INTEGER>(&kFull32), "4294967295", "4294967295"},
      {"integer too large", Make<ASN1::INTEGER>(), "2147483648", ""},
      {"sign on an unsigned range", Make<ASN1::INTEGER>(&kFull32), "-1", ""},
      {"named number by name", Make<ASN1::IntegerWithNamedNumber>(&kRank), "high", "high"},
      {"named number by value", Make<ASN1::IntegerWithNamedNumber>(&kRank), "-1", "none"},
      {"unknown number name", Make<ASN1::IntegerWithNamedNumber>(&kRank), "mid", ""},
      {"sparse enumeration", Make<test::Sparse>(), "far", "far"},
      {"unknown enumerator", Make<test::ErrorCause>(), "busy", ""},
      {"object identifier", Make<ASN1::OBJECT_IDENTIFIER>(), "{ iso(1) 2 840 }", "{ 1 2 840 }"},
      {"arc that is not a number", Make<ASN1::OBJECT_IDENTIFIER>(), "{ 1 2x }", ""},
      {"bare arc name", Make<ASN1::OBJECT_IDENTIFIER>(), "{ iso 2 }", ""},
      {"hexadecimal bits", Make<ASN1::BIT_STRING>(), "'A'H", "'1010'B"},
      {"binary bits", Make<ASN1::BIT_STRING>(), "'101'B", "'101'B"},
      {"octets with blanks", Make<ASN1::OCTET_STRING>(), "'01 ab\nff'H", "'01 ab ff'H"},
      {"octet digit out of base", Make<ASN1::OCTET_STRING>(), "'0g'H", ""},
      {"binary digit out of base", Make<ASN1::BIT_STRING>(), "'102'B", ""},
      {"octets without form", Make<ASN1::OCTET_STRING>(), "'01'", ""},
      {"string", Make<ASN1::IA5String>(), " \"a, b\"", "\"a, b\""},
      {"unterminated string", Make<ASN1::IA5String>(), "\"ab", ""},
      {"time", Make<ASN1::GeneralizedTime>(), "\"20240102030405.250Z\"", "\"20240102030405.250Z\""},
      {"choice", Make<test::Command>(), "connect : 5", "connect : 5"},
      {"choice name with its colon", Make<test::Command>(), "connect: 5", ""},
      {"unknown alternative", Make<test::Command>(), "reboot : NULL", ""},
      {"list", Make<ASN1::SEQUENCE_OF_Base>(&kIntegers), "{ 1, 2, 3 }", "{\n  1,\n  2,\n  3\n}"},
      {"empty list", Make<ASN1::SEQUENCE_OF_Base>(&kIntegers), "{ }", "{\n}"},
      {"list without commas", Make<ASN1::SEQUENCE_OF_Base>(&kIntegers), "{ 1 2 }", ""},
      {"empty sequence", Make<test::Message>(), "{}", "{\n  pdu  <unprintable>"},
      {"fields in order", Make<test::Message>(), "{ seq 1, pdu response : success : NULL }",
       "{\n  seq 1,\n  pdu response : success : NULL\n}"},
      {"fields out of order", Make<test::Message>(), "{ pdu response : success : NULL, seq 1 }", ""},
      {"trailing comma, optional fields after", Make<test::Tone>(), "{ a 1, }", "{\n  a 1\n}"},
      {"trailing comma, mandatory field after", Make<test::Message>(), "{ seq 1, }", ""},
      {"enumerator and number before commas", Make<ASN1::SEQUENCE>(&kPair), "{ cause internal, rank low }",
       "{\n  cause internal,\n  rank low\n}"},
      {"unknown field", Make<test::Tone>(), "{ a 1, z 2 }", ""},
      {"open type", Make<ASN1::OpenData>(), "'01'H", ""},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    auto value = c.make();
    const bool read = value->setFromValueNotation(c.text);
    EXPECT_EQ(read, *c.read != '\0');
    if (read) {
      EXPECT_EQ(value->asValueNotation(), c.read);
    }
  }
}

TEST(AVNDecoder, AppendsObjectIdentifierArcs) {
  ASN1::OBJECT_IDENTIFIER oid;
  oid.arcs() = {1, 2};
  ASSERT_TRUE(oid.setFromValueNotation("{ 840 rsadsi(113549) }"));
  EXPECT_EQ(oid.arcs(), (std::vector<uint32_t>{1, 2, 840, 113549}));
}

}  // namespace
